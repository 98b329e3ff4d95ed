// scratch_win32.cpp - the conformance fixture on Windows: a real folder in
// the temp folder and real keys made with the registry calls.
#include "scratch.h"

#include <cstdio>

namespace conformance {

namespace {

void RemoveTree(const std::wstring &folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

HKEY CreateKey(const std::wstring &relative) {
  std::wstring path = kScratchKey;
  if (!relative.empty()) path += L"\\" + relative;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "scratch: cannot create key %ls\n", path.c_str());
    return nullptr;
  }
  return key;
}

void SetValue(const std::wstring &keyPath, const std::wstring &name, DWORD type, const BYTE *data,
              DWORD bytes) {
  HKEY key = CreateKey(keyPath);
  if (!key) return;
  RegSetValueExW(key, name.c_str(), 0, type, data, bytes);
  RegCloseKey(key);
}

}  // namespace

struct Scratch::State {
  std::wstring folder;
};

Scratch::Scratch() : state_(new State) {
  WCHAR temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  WCHAR name[64];
  static int serial = 0;
  wsprintfW(name, L"tovik-conformance-%lu-%d", GetCurrentProcessId(), ++serial);
  state_->folder = std::wstring(temp) + name;
  RemoveTree(state_->folder);
  CreateDirectoryW(state_->folder.c_str(), nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kScratchKey);
}

Scratch::~Scratch() {
  RemoveTree(state_->folder);
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kScratchKey);
}

std::wstring Scratch::Path(const std::wstring &relative) const {
  return relative.empty() ? state_->folder : state_->folder + L"\\" + relative;
}

void Scratch::MakeFolder(const std::wstring &relative) const {
  std::wstring path = state_->folder;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(L'\\', start);
    if (end == std::wstring::npos) end = relative.size();
    path += L"\\" + relative.substr(start, end - start);
    CreateDirectoryW(path.c_str(), nullptr);
    start = end + 1;
  }
}

void Scratch::WriteFile(const std::wstring &relative, const std::string &bytes) const {
  size_t slash = relative.rfind(L'\\');
  if (slash != std::wstring::npos) MakeFolder(relative.substr(0, slash));
  HANDLE file = CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void Scratch::AddKey(const std::wstring &key) {
  HKEY made = CreateKey(key);
  if (made) RegCloseKey(made);
}

void Scratch::SetString(const std::wstring &key, const std::wstring &name,
                        const std::wstring &value) {
  SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

void Scratch::SetDword(const std::wstring &key, const std::wstring &name, DWORD value) {
  SetValue(key, name, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

void Scratch::SetBinary(const std::wstring &key, const std::wstring &name, DWORD type,
                        const std::vector<BYTE> &bytes) {
  SetValue(key, name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void Scratch::Commit() {}

}  // namespace conformance
