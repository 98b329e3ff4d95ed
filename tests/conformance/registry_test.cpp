// Registry enumeration as the registry dump uses it: results, order, the
// byte layout of the data, and ERROR_MORE_DATA with the capacities it
// leaves, the same assertions on the device layer and on Windows.
#include <gtest/gtest.h>

#include <string>

#include "scratch.h"

namespace {

using conformance::kScratchKey;
using conformance::Scratch;

std::wstring KeyPath(const std::wstring &relative) {
  return relative.empty() ? kScratchKey : std::wstring(kScratchKey) + L"\\" + relative;
}

// The fixture, made in name order so that the order in which the values
// were made and the order of their names agree.
void MakeTree(Scratch &scratch) {
  scratch.SetString(L"", L"", L"default");
  scratch.SetDword(L"", L"Alpha", 255);
  scratch.SetBinary(L"", L"Beta", REG_BINARY, {0x01, 0xAB, 0xFF});
  scratch.SetString(L"", L"Gamma", L"a\"b\\c\td\u00e9");
  scratch.SetBinary(L"", L"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  scratch.AddKey(L"A");
  scratch.AddKey(L"B");
  scratch.SetDword(L"B\\C", L"Count", 1);
  scratch.Commit();
}

HKEY Open(const std::wstring &relative) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(relative).c_str(), 0, KEY_READ, &key));
  return key;
}

TEST(ConformanceRegistry, ValuesEnumerateWithTheirDataBytes) {
  Scratch scratch;
  MakeTree(scratch);
  HKEY key = Open(L"");
  ASSERT_NE(nullptr, key);

  struct Expected {
    std::wstring name;
    DWORD type;
    std::string bytes;
  };
  const Expected expected[] = {
      {L"", REG_SZ, std::string("d\0e\0f\0a\0u\0l\0t\0\0\0", 16)},
      {L"Alpha", REG_DWORD, std::string("\xFF\0\0\0", 4)},
      {L"Beta", REG_BINARY, "\x01\xAB\xFF"},
      {L"Gamma", REG_SZ, std::string("a\0\"\0b\0\\\0c\0\t\0d\0\xE9\0\0\0", 18)},
      {L"Multi", REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10)},
  };
  DWORD index = 0;
  for (const Expected &e : expected) {
    WCHAR name[1024];
    BYTE data[16256];
    DWORD nameChars = 1024;
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &dataBytes))
        << index;
    EXPECT_EQ(e.name, name);
    EXPECT_EQ(e.name.size(), nameChars);
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.bytes, std::string(reinterpret_cast<char *>(data), dataBytes)) << index;
    ++index;
  }
  WCHAR name[16];
  DWORD nameChars = 16;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(key);
}

TEST(ConformanceRegistry, ShortBuffersGiveMoreDataAndTheSizeNeeded) {
  Scratch scratch;
  MakeTree(scratch);
  HKEY key = Open(L"");
  ASSERT_NE(nullptr, key);

  // Data too long for the buffer: ERROR_MORE_DATA, and the capacity now
  // holds the size of the data.
  WCHAR name[1024];
  BYTE data[4];
  DWORD nameChars = 1024;
  DWORD dataBytes = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumValueW(key, 3, name, &nameChars, nullptr, &type, data, &dataBytes));
  EXPECT_EQ(18u, dataBytes);

  // No data buffer: success, and the size of the data.
  nameChars = 1024;
  dataBytes = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumValueW(key, 3, name, &nameChars, nullptr, &type, nullptr, &dataBytes));
  EXPECT_EQ(18u, dataBytes);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

  // A name that does not fit with its terminator: ERROR_MORE_DATA.
  nameChars = 5;  // "Gamma" needs 6
  dataBytes = 0;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumValueW(key, 3, name, &nameChars, nullptr, &type, nullptr, &dataBytes));

  // The same for a subkey name.
  WCHAR subkey[1];
  DWORD subkeyChars = 1;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumKeyExW(key, 0, subkey, &subkeyChars, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(key);
}

TEST(ConformanceRegistry, SubkeysEnumerateInNameOrder) {
  Scratch scratch;
  MakeTree(scratch);
  HKEY key = Open(L"");
  ASSERT_NE(nullptr, key);
  std::wstring names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[1024];
    DWORD nameChars = 1024;
    LONG result = RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
      EXPECT_EQ(ERROR_NO_MORE_ITEMS, result);
      break;
    }
    EXPECT_EQ(wcslen(name), nameChars);
    names += name;
    names += L";";
  }
  EXPECT_EQ(L"A;B;", names);
  RegCloseKey(key);

  // Paths are case-insensitive; a missing key is ERROR_FILE_NOT_FOUND.
  HKEY deep = nullptr;
  std::wstring lower = KeyPath(L"b\\c");
  for (auto &c : lower) c = static_cast<WCHAR>(towlower(c));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, lower.c_str(), 0, KEY_READ, &deep));
  DWORD value = 0;
  DWORD bytes = sizeof value;
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(deep, L"count", nullptr, &type,
                                            reinterpret_cast<BYTE *>(&value), &bytes));
  EXPECT_EQ(1u, value);
  RegCloseKey(deep);
  HKEY missing = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(L"Nope").c_str(), 0, KEY_READ, &missing));
}

// Values come back in the order they were made, not in name order, on the
// device and on Windows. Wine 8 keeps them sorted by name.
TEST(ConformanceRegistry, ValuesKeepTheOrderTheyWereMadeIn) {
  if (conformance::RunningOnWine()) GTEST_SKIP() << "Wine 8 enumerates values in name order";
  Scratch scratch;
  scratch.SetDword(L"", L"Zulu", 1);
  scratch.SetDword(L"", L"alpha", 2);
  scratch.SetDword(L"", L"Mike", 3);
  scratch.Commit();
  HKEY key = Open(L"");
  ASSERT_NE(nullptr, key);
  std::wstring names;
  WCHAR name[64];
  DWORD nameChars = 64;
  for (DWORD index = 0; RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
       ++index, nameChars = 64)
    names += std::wstring(name) + L";";
  EXPECT_EQ(L"Zulu;alpha;Mike;", names);
  RegCloseKey(key);
}

// Windows CE has no access checks: the registry dump opens keys with
// access 0 and reads them. Desktop Windows refuses to enumerate such a key,
// so the Windows build opens it with read access (ce_RegOpenKeyExW).
TEST(ConformanceRegistry, KeysOpenedWithoutAccessRights) {
  Scratch scratch;
  MakeTree(scratch);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, 0, &key));
  WCHAR name[64];
  DWORD nameChars = 64;
  LONG result = RegEnumValueW(key, 1, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (!conformance::kDesktopWindows) {
    EXPECT_EQ(ERROR_SUCCESS, result);
    return;
  }
  EXPECT_EQ(ERROR_ACCESS_DENIED, result);
#ifdef _WIN32
  ASSERT_EQ(ERROR_SUCCESS, ce_RegOpenKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, 0, &key));
  nameChars = 64;
  EXPECT_EQ(ERROR_SUCCESS,
            RegEnumValueW(key, 1, name, &nameChars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ(L"Alpha", name);
  RegCloseKey(key);
#endif
}

}  // namespace
