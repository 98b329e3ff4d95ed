// registry_fuzz.cpp - feeds arbitrary bytes to the registry file reader,
// walks what it built through the registry calls, and writes the whole
// registry section of a snapshot from it, as the program does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "internal.h"
#include "output/output.h"
#include "device/regfile.h"
#include "snapshot/registry.h"

namespace {

// Enumerates every key and value of the tree through the public calls, with
// small buffers first so that the ERROR_MORE_DATA paths run too.
void Walk(HKEY key, int depth) {
  if (depth > 64) return;
  WCHAR name[64];
  BYTE data[64];
  for (DWORD i = 0;; ++i) {
    DWORD chars = 64, bytes = sizeof data, type = 0;
    LONG r = RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &bytes);
    if (r == ERROR_MORE_DATA) {
      std::vector<WCHAR> bigName(chars);
      std::vector<BYTE> bigData(bytes + 1);
      if (RegEnumValueW(key, i, bigName.data(), &chars, nullptr, &type, bigData.data(), &bytes) !=
          ERROR_SUCCESS)
        __builtin_trap();
      continue;
    }
    if (r != ERROR_SUCCESS) break;
  }
  for (DWORD i = 0;; ++i) {
    DWORD chars = 64;
    LONG r = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    HKEY child;
    if (RegOpenKeyExW(key, name, 0, 0, &child) != ERROR_SUCCESS) __builtin_trap();
    Walk(child, depth + 1);
    RegCloseKey(child);
  }
}

// A temporary device folder for the whole run, removed at exit. The path
// is kept in a string that is never destroyed, so the exit handler can use
// it.
const std::string &DeviceFolder() {
  static std::string *folder = [] {
    char name[] = "/tmp/tovik-fuzz-XXXXXX";
    auto *made = new std::string(::mkdtemp(name) ? name : "/tmp");
    ::setenv("TOVIK_DEVICE", made->c_str(), 1);
    return made;
  }();
  static bool cleanup = [] {
    return std::atexit([] {
             std::remove((*folder + "/registry.reg").c_str());
             std::remove((*folder + "/root/section.tvk").c_str());
             std::remove((*folder + "/root").c_str());
             std::remove(folder->c_str());
           }) == 0;
  }();
  (void)cleanup;
  return *folder;
}

}  // namespace

// Malformed lines are reported on standard error; the fuzzer is asked to
// close it for the target (its own messages and the sanitizers' reports go
// to a copy), so that a long run does not drown in them.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static std::vector<char *> args;
  static char closeStderr[] = "-close_fd_mask=2";
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, closeStderr);
  args.push_back(nullptr);
  *argc += 1;
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  host::reg::Tree tree;
  host::reg::ParseRegFile(std::string(reinterpret_cast<const char *>(bytes), size), &tree,
                          "registry.reg");

  // The same bytes as a device's registry.reg, read through the calls.
  static const std::string &folder = DeviceFolder();
  if (FILE *file = std::fopen((folder + "/registry.reg").c_str(), "wb")) {
    std::fwrite(bytes, 1, size, file);
    std::fclose(file);
  }
  host::reg::ForgetRegistry();
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
    Walk(root, 0);

  // The registry section of a snapshot, written to a file that each input
  // starts afresh.
  if (OutOpen(L"\\section.tvk", L"w")) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS})
      DumpRegistryRoot(root, L"");
    OutClose();
  }
  return 0;
}
