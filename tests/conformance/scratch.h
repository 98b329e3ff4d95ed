// scratch.h - the one fixture of the conformance tests: a scratch folder and
// a scratch registry key, made the same way on every platform the tests run
// on. On a device host it is a test device (files under its root, keys in
// its registry.reg); on Windows it is a real folder under the temp folder
// and real keys under HKEY_CURRENT_USER\Software\TovikConformance.
//
// The tests themselves use only the Win32 API through platform.h, so the
// same assertions check the host layer and Windows' own implementation.
#ifndef TOVIK_CONFORMANCE_SCRATCH_H
#define TOVIK_CONFORMANCE_SCRATCH_H

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace conformance {

// The device's upper-casing and wide scan: the layer's own names on a
// device host, the runtime stand-ins on Windows (see platform.h).
#ifdef _WIN32
#define DEVICE_WCSUPR ce_wcsupr
constexpr bool kDesktopWindows = true;
#else
#define DEVICE_WCSUPR _wcsupr
constexpr bool kDesktopWindows = false;
#endif

// True under Wine, whose implementation differs from Windows in a few
// places the tests name.
inline bool RunningOnWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// The scratch key, below HKEY_CURRENT_USER.
constexpr const wchar_t *kScratchKey = L"Software\\TovikConformance";

class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  // The full path of `relative` ('\\'-separated) inside the scratch folder;
  // the folder itself for "".
  std::wstring Path(const std::wstring &relative) const;
  // Writes a file with `bytes` (folders on the way are made).
  void WriteFile(const std::wstring &relative, const std::string &bytes) const;
  void MakeFolder(const std::wstring &relative) const;

  // Registry values below kScratchKey (`key` relative to it, "" for the
  // scratch key itself); Commit makes them visible to the registry calls.
  // Keys and values are made in the order given.
  void AddKey(const std::wstring &key);
  void SetString(const std::wstring &key, const std::wstring &name, const std::wstring &value);
  void SetDword(const std::wstring &key, const std::wstring &name, DWORD value);
  void SetBinary(const std::wstring &key, const std::wstring &name, DWORD type,
                 const std::vector<BYTE> &bytes);
  void Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace conformance

#endif  // TOVIK_CONFORMANCE_SCRATCH_H
