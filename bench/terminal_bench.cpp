// The cost of repainting the progress window once per directory, as a
// snapshot does: on a terminal (a pseudo-terminal whose other side is read
// and thrown away) against no terminal, and against listing one directory of
// ten files, part of the work a snapshot does per directory anyway.
#include <fcntl.h>
#include <pty.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "dialog_template.h"
#include "platform.h"
#include "platform_testing.h"
#include "resource.h"

namespace {

// Standard input and output on a pseudo-terminal for the life of the
// object; what the layer writes there is read and dropped by a thread.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    struct winsize size = {40, 100, 0, 0};
    if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) return;
    std::fflush(stdout);
    savedIn_ = ::dup(0);
    savedOut_ = ::dup(1);
    ::dup2(slave_, 0);
    ::dup2(slave_, 1);
    ::setenv("TERM", "xterm", 1);
    drain_ = std::thread([this] {
      char buffer[65536];
      while (::read(master_, buffer, sizeof buffer) > 0) bytes_ += 1;
    });
  }
  ~PseudoTerminal() {
    std::fflush(stdout);
    ::dup2(savedIn_, 0);
    ::dup2(savedOut_, 1);
    ::close(savedIn_);
    ::close(savedOut_);
    ::close(slave_);
    ::close(master_);
    if (drain_.joinable()) drain_.join();
  }

 private:
  int master_ = -1, slave_ = -1, savedIn_ = -1, savedOut_ = -1;
  std::thread drain_;
  std::atomic<long> bytes_{0};
};

void RepaintLoop(benchmark::State &state) {
  HWND progress = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
  ShowWindow(progress, SW_SHOW);
  SetDlgItemTextW(progress, IDC_SECTION, L"File system");
  std::wstring path = L"\\Windows\\Start Menu\\Programs\\Accessories\\";
  size_t n = 0;
  for (auto _ : state) {
    path.back() = static_cast<wchar_t>(L'a' + n++ % 26);
    SetDlgItemTextW(progress, IDC_ITEM, path.c_str());
    UpdateWindow(progress);
  }
  DestroyWindow(progress);
}

void BM_RepaintWithoutTerminal(benchmark::State &state) {
  PlatformUseTerminal(0);
  RepaintLoop(state);
  PlatformUseTerminal(1);
}
BENCHMARK(BM_RepaintWithoutTerminal);

void BM_RepaintOnTerminal(benchmark::State &state) {
  PseudoTerminal terminal;
  RepaintLoop(state);
}
BENCHMARK(BM_RepaintOnTerminal);

// Reading a directory of ten files and the status of each with the host's
// own calls: less than a snapshot does per directory, so a lower bound.
void BM_ListDirectoryOfTenFiles(benchmark::State &state) {
  char folder[] = "/tmp/tovik-bench-XXXXXX";
  if (!::mkdtemp(folder)) return;
  for (int i = 0; i < 10; ++i) {
    std::string name = std::string(folder) + "/file" + std::to_string(i) + ".txt";
    ::close(::open(name.c_str(), O_CREAT | O_WRONLY, 0644));
  }
  for (auto _ : state) {
    DIR *dir = ::opendir(folder);
    int count = 0;
    while (struct dirent *entry = ::readdir(dir)) {
      struct stat info;
      std::string name = std::string(folder) + "/" + entry->d_name;
      count += ::stat(name.c_str(), &info) == 0;
    }
    ::closedir(dir);
    benchmark::DoNotOptimize(count);
  }
  std::string remove = std::string("rm -rf ") + folder;
  if (std::system(remove.c_str()) != 0) state.SkipWithError("cleanup failed");
}
BENCHMARK(BM_ListDirectoryOfTenFiles);

}  // namespace

BENCHMARK_MAIN();
