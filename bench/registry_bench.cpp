// registry_bench.cpp - the registry section of a snapshot for a large
// registry, against reading the same export file with cat.
//
// A device with a generated registry.reg (Windows Registry Editor Version
// 5.00, UTF-16LE, as a desktop editor writes it) of N keys with ten values
// each is made once per size. One iteration reads the file afresh and
// writes all three roots to a snapshot. Counters:
//   vs_cat   the iteration's time over the time of `cat registry.reg`
//   read_s   of that, reading the file into the registry
//   dump_s   of that, writing the section
//   cpu_s    processor time of the iteration (steadier than the wall clock
//            on a busy machine, for comparing the two sizes)
// Two sizes (100,000 keys / 1,000,000 values and twice that) show whether
// the time grows linearly.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "output/output.h"
#include "platform.h"
#include "platform_testing.h"
#include "reg_file.h"
#include "snapshot/registry.h"

namespace {

constexpr int kValuesPerKey = 10;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::u16string U(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string HexBytes(unsigned seed, int count) {
  std::string out;
  char byte[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, "%02x", (seed * 31 + static_cast<unsigned>(i) * 7) & 0xFF);
    out += (i ? "," : "") + std::string(byte);
  }
  return out;
}

// Writes the device folder for `keys` keys once; returns its path.
const std::string &Device(int keys) {
  static std::map<int, std::string> made;
  auto it = made.find(keys);
  if (it != made.end()) return it->second;
  std::string folder = "/tmp/tovik-registry-bench-" + std::to_string(keys);
  ::mkdir(folder.c_str(), 0777);
  ::mkdir((folder + "/root").c_str(), 0777);

  static const char *const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                       "HKEY_CLASSES_ROOT"};
  std::u16string units = u"Windows Registry Editor Version 5.00\r\n";
  char path[160];
  for (int k = 0; k < keys; ++k) {
    std::snprintf(path, sizeof path, "\r\n[%s\\Software\\Vendor %03d\\Product %03d\\Item %06d]\r\n",
                  kRoots[k % 3], k / 10000, (k / 100) % 100, k);
    std::string text = path;
    unsigned seed = static_cast<unsigned>(k);
    for (int v = 0; v < kValuesPerKey; ++v) {
      char name[32];
      std::snprintf(name, sizeof name, "\"Value%d\"=", v);
      text += name;
      switch (v) {
        case 0:
        case 1:
        case 2:
        case 3:
          text += "\"C:\\\\Program Files\\\\App " + std::to_string(k) + "\\\\file" +
                  std::to_string(v) + ".dat\"";
          break;
        case 4:
          text += "\"say \\\"hello\\\"\"";
          break;
        case 5:
        case 6:
        case 7: {
          char dword[24];
          std::snprintf(dword, sizeof dword, "dword:%08x", seed * 2654435761u + v);
          text += dword;
          break;
        }
        case 8:
          text += "hex:" + HexBytes(seed, 16);
          break;
        default:
          text += "hex(7):" + HexBytes(seed, 24) + ",00,00,00,00";
          break;
      }
      text += "\r\n";
    }
    units += U(text);
  }
  std::string bytes = testing_device::Utf16RegFile(units);
  std::FILE *file = std::fopen((folder + "/registry.reg").c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return made[keys] = folder;
}

// The shortest of three runs of cat on the file, in seconds.
double CatSeconds(const std::string &file) {
  double best = 1e9;
  std::string command = "cat '" + file + "' > /dev/null";
  for (int i = 0; i < 3; ++i) {
    Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0) std::abort();
    best = std::min(best, Seconds(start));
  }
  return best;
}

void BM_RegistryDump(benchmark::State &state) {
  int keys = static_cast<int>(state.range(0));
  const std::string &folder = Device(keys);
  double cat = CatSeconds(folder + "/registry.reg");
  ::setenv("TOVIK_DEVICE", folder.c_str(), 1);
  double total = 0, read = 0, dump = 0, cpu = 0;
  int iterations = 0;
  for (auto _ : state) {
    PlatformResetDevice();  // the registry is read from the file again
    Clock::time_point start = Clock::now();
    std::clock_t cpuStart = std::clock();
    HKEY key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"", 0, 0, &key);  // reads registry.reg
    RegCloseKey(key);
    double readTime = Seconds(start);
    Clock::time_point dumpStart = Clock::now();
    OutOpen(L"\\bench.tvk", L"w");
    DumpRegistryRoot(HKEY_CURRENT_USER, L"");
    DumpRegistryRoot(HKEY_LOCAL_MACHINE, L"");
    DumpRegistryRoot(HKEY_CLASSES_ROOT, L"");
    OutClose();
    dump += Seconds(dumpStart);
    read += readTime;
    total += Seconds(start);
    cpu += static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    ++iterations;
  }
  state.counters["keys"] = keys;
  state.counters["values"] = static_cast<double>(keys) * kValuesPerKey;
  state.counters["cat_s"] = cat;
  state.counters["read_s"] = read / iterations;
  state.counters["dump_s"] = dump / iterations;
  state.counters["cpu_s"] = cpu / iterations;
  state.counters["vs_cat"] = total / iterations / cat;
  PlatformResetDevice();
}

BENCHMARK(BM_RegistryDump)
    ->Arg(100000)
    ->Arg(200000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
