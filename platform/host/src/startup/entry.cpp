// entry.cpp - the start-up code: what the device's C runtime does before
// WinMain. It hands WinMain the instance and the command line (the
// arguments after the program name, joined by single spaces, as one wide
// string) and exits with what WinMain returns. The program's help and its
// advice when its dialog cannot be shown are here too.
#include <sys/stat.h>

#include <string>

#include "internal.h"
#include "tovik_version.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage: tovik [SNAPSHOT-PATH]\n"
      "\n"
      "Records the state of a Windows CE device - its registry, its file system\n"
      "with sizes, ROM markers and CRC-32s, and its object-store databases - in\n"
      "one plain text snapshot file.\n"
      "\n"
      "SNAPSHOT-PATH is a device path such as \\Temp\\before.txt. Without it the\n"
      "snapshot is named after the local date and time (ddMMyyHHmmss.tvk) and\n"
      "written to the default path of the settings (the device root when empty).\n"
      "\n"
      "The device is a folder: TOVIK_DEVICE names it; unset, the per-user device\n"
      "in ${XDG_DATA_HOME:-~/.local/share}/tovik/device is used (created on first\n"
      "use). Its root/ folder is the device's \\, registry.reg its registry,\n"
      "databases.txt its object store, rom.txt the files in ROM and device.ini\n"
      "its properties (codepage=). Snapshots land in root/ (or below it).\n"
      "\n"
      "Settings live in \\My Documents\\tovik.cfg on the device.\n"
      "\n"
      "  --help     show this text\n"
      "  --version  show the version\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintHelp();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tovik version %s\n", TOVIK_VERSION);
    return 0;
  }
  const char *named = std::getenv("TOVIK_DEVICE");
  if (named && *named) {
    struct stat info;
    if (::stat(named, &info) != 0 || !S_ISDIR(info.st_mode)) {
      std::fprintf(stderr, "tovik: TOVIK_DEVICE=%s is not a folder\n", named);
      return 1;
    }
  }
  host::SetNoInputHint(
      "tovik: the configuration dialog needs a terminal; with Setup 0 in "
      "\\My Documents\\tovik.cfg tovik runs without it\n");
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  std::wstring commandLine = host::HostNameToWide(joined);
  return WinMain(GetModuleHandleW(nullptr), nullptr, &commandLine[0], SW_SHOWNORMAL);
}
