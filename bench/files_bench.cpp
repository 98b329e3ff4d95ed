// Benchmarks of the file checksum and the file system listing.
//
// The in-memory checksum benchmarks need nothing. The others run on a device
// folder named by TOVIK_DEVICE that holds root/big.bin (the file to
// checksum) or root/tree (the tree to list), and skip what is not there;
// `bench/compare.py --work FOLDER` leaves such devices in FOLDER/checksum
// and FOLDER/files50k, and times the whole program against standard tools.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "output/output.h"
#include "resource.h"
#include "settings/settings.h"
#include "snapshot/crc32.h"
#include "snapshot/files.h"

namespace {

bool HaveDevice(benchmark::State &state, const char *relative) {
  const char *device = std::getenv("TOVIK_DEVICE");
  struct stat info;
  if (device && ::stat((std::string(device) + "/root/" + relative).c_str(), &info) == 0)
    return true;
  state.SkipWithError("TOVIK_DEVICE does not hold the benchmark's files");
  return false;
}

std::vector<BYTE> RandomBytes(size_t n) {
  std::mt19937 random(7);
  std::vector<BYTE> data(n);
  for (BYTE &b : data) b = static_cast<BYTE>(random());
  return data;
}

// One byte per step through the table: the reference.
void BM_Crc32Table(benchmark::State &state) {
  std::vector<BYTE> data = RandomBytes(CRC32_READ_BYTES);
  Crc32InitTable();
  for (auto _ : state)
    benchmark::DoNotOptimize(Crc32Update(0, data.data(), static_cast<LONG>(data.size())));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CRC32_READ_BYTES);
}
BENCHMARK(BM_Crc32Table);

// Folding (or slicing by eight where the processor cannot fold).
void BM_Crc32Fast(benchmark::State &state) {
  std::vector<BYTE> data = RandomBytes(CRC32_READ_BYTES);
  Crc32InitTable();
  for (auto _ : state)
    benchmark::DoNotOptimize(Crc32UpdateFast(0, data.data(), static_cast<LONG>(data.size())));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CRC32_READ_BYTES);
}
BENCHMARK(BM_Crc32Fast);

// FileCrc32 of root/big.bin (1 GiB, in the page cache).
void BM_FileCrc32(benchmark::State &state) {
  if (!HaveDevice(state, "big.bin")) return;
  for (auto _ : state) benchmark::DoNotOptimize(FileCrc32(L"\\big.bin"));
}
BENCHMARK(BM_FileCrc32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The listing of root/tree into a snapshot file. Arguments: the crc32 flag,
// and whether a progress window is there to be repainted per folder.
void BM_Listing(benchmark::State &state) {
  if (!HaveDevice(state, "tree")) return;
  Settings.crc32 = static_cast<LONG>(state.range(0));
  Settings.fileInRom = 1;
  Settings.excludes.count = 0;
  HWND progress = nullptr;
  if (state.range(1)) {
    progress =
        CreateDialogIndirectParamW(nullptr, LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
    ShowWindow(progress, SW_SHOW);
  }
  for (auto _ : state) {
    OutOpen(L"\\listing.txt", L"w");
    DumpDirectory(progress, L"\\tree");
    OutClose();
  }
  if (progress) DestroyWindow(progress);
}
BENCHMARK(BM_Listing)
    ->ArgNames({"crc", "window"})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The searches alone, as the listing makes them (files, then subfolders,
// of each folder), without the output: what the host's file system costs.
void Walk(std::wstring &path) {
  WIN32_FIND_DATAW data;
  std::wstring pattern = path + L"\\*.*";
  for (int pass = 0; pass < 2; ++pass) {
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      if (pass == 1 && folder) {
        size_t length = path.size();
        path += L"\\";
        path += data.cFileName;
        Walk(path);
        path.resize(length);
      }
      benchmark::DoNotOptimize(data.nFileSizeLow);
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
}

void BM_SearchesOnly(benchmark::State &state) {
  if (!HaveDevice(state, "tree")) return;
  for (auto _ : state) {
    std::wstring path = L"\\tree";
    Walk(path);
  }
}
BENCHMARK(BM_SearchesOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
