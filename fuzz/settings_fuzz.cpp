// Fuzz target for the settings file reader: any bytes read as
// \tovik.cfg must load without a fault, leave the record within its
// bounds, and what is then written must read back to the same record.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform.h"
#include "platform_testing.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace {

std::string g_folder;
std::string g_root;

// The temporary device goes when the fuzzer exits.
void RemoveDevice() {
  ::unlink((g_root + "/in.cfg").c_str());
  ::unlink((g_root + "/out.cfg").c_str());
  ::rmdir(g_root.c_str());
  ::rmdir(g_folder.c_str());
}

void Reset() {
  Settings.registry = Settings.files = Settings.fileInRom = 1;
  Settings.crc32 = Settings.databases = Settings.setup = 1;
  Settings.excludes.count = 0;
  Settings.defaultPath[0] = 0;
}

void Check(bool condition, const char *what) {
  if (condition) return;
  std::fprintf(stderr, "settings_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char folder[] = "/tmp/tovik-fuzz-XXXXXX";
  if (!::mkdtemp(folder)) std::abort();
  g_folder = folder;
  g_root = g_folder + "/root";
  ::mkdir(g_root.c_str(), 0700);
  std::atexit(RemoveDevice);
  ::setenv("TOVIK_DEVICE", folder, 1);
  PlatformResetDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string file = g_root + "/in.cfg";
  FILE *out = std::fopen(file.c_str(), "wb");
  if (!out) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  Reset();
  Check(LoadSettings(L"\\in.cfg") == 1, "the file did not load");
  Check(Settings.excludes.count >= 0 && Settings.excludes.count <= MAX_EXCLUDES, "count");
  for (int i = 0; i < Settings.excludes.count; ++i)
    Check(Settings.excludes.slots[i][0] != 0 &&
              std::wcslen(Settings.excludes.slots[i]) < EXCLUDE_CHARS,
          "pattern");
  Check(std::wcslen(Settings.defaultPath) <= 242, "default path");

  SettingsRecord first = Settings;
  Check(SaveSettings(L"\\out.cfg") == 1, "the settings were not written");
  Reset();
  Check(LoadSettings(L"\\out.cfg") == 1, "the written file did not load");
  Check(first.registry == Settings.registry && first.files == Settings.files &&
            first.fileInRom == Settings.fileInRom && first.crc32 == Settings.crc32 &&
            first.databases == Settings.databases && first.setup == Settings.setup,
        "flags differ after writing and reading back");
  Check(first.excludes.count == Settings.excludes.count, "pattern count differs");
  for (int i = 0; i < first.excludes.count; ++i)
    Check(std::wcscmp(first.excludes.slots[i], Settings.excludes.slots[i]) == 0,
          "pattern differs after writing and reading back");
  Check(std::wcscmp(first.defaultPath, Settings.defaultPath) == 0,
        "default path differs after writing and reading back");
  return 0;
}
