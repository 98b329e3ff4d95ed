// The device registry read from registry.reg: both file encodings, value
// kinds, deletions, continuations, malformed lines, and the contracts of
// the registry calls (capacities, end of enumeration, missing keys, order).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

typedef std::vector<BYTE> Bytes;

// UTF-16LE bytes of an ASCII/Latin-1 text, with a terminator when asked.
Bytes Units(const std::wstring &text, bool terminator = true) {
  Bytes out;
  for (WCHAR c : text) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(static_cast<BYTE>(static_cast<unsigned>(c) >> 8));
  }
  if (terminator) out.insert(out.end(), {0, 0});
  return out;
}

// A version 5 file in UTF-16LE with its byte order mark.
std::string Utf16File(const std::u16string &text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

class Registry : public ::testing::Test {
 protected:
  TestDevice device;

  void Load(const std::string &bytes) { device.write("registry.reg", bytes); }

  HKEY Open(HKEY root, const wchar_t *path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(root, path, 0, 0, &key)) << "opening " << path;
    return key;
  }

  struct Item {
    std::wstring name;
    DWORD type;
    Bytes data;
  };

  std::vector<Item> Values(HKEY root, const wchar_t *path) {
    std::vector<Item> items;
    HKEY key = Open(root, path);
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      BYTE data[512];
      DWORD chars = 256, bytes = sizeof data, type = 0;
      LONG r = RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &bytes);
      if (r != ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, r);
        break;
      }
      EXPECT_EQ(wcslen(name), chars);
      items.push_back({name, type, Bytes(data, data + bytes)});
    }
    RegCloseKey(key);
    return items;
  }

  std::vector<std::wstring> Subkeys(HKEY root, const wchar_t *path) {
    std::vector<std::wstring> names;
    HKEY key = Open(root, path);
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD chars = 256;
      LONG r = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
      if (r != ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, r);
        break;
      }
      names.push_back(name);
    }
    RegCloseKey(key);
    return names;
  }
};

TEST_F(Registry, Regedit4ValuesAreStoredAsTheDeviceKeepsThem) {
  Load(
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Drivers\\Serial]\r\n"
      "\"Dll\"=\"serial.dll\"\r\n"
      "\"Name\"=\"a\\\"b\\\\c\"\r\n"
      "@=\"caf\xE9\"\r\n"
      "\"Index\"=dword:0000001f\r\n"
      "\"Short\"=dword:ABC\r\n"
      "\"Bin\"=hex:01,AB, ff\r\n"
      "\"Empty\"=hex:\r\n"
      "\"Path\"=hex(2):25,41,25,00\r\n"
      "\"Multi\"=hex(7):61,00,62,00,00\r\n"
      "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Big\"=hex(100000):07\r\n");
  std::vector<Item> v = Values(HKEY_LOCAL_MACHINE, L"Drivers\\Serial");
  ASSERT_EQ(11u, v.size());
  EXPECT_EQ(L"Dll", v[0].name);
  EXPECT_EQ(DWORD(REG_SZ), v[0].type);
  EXPECT_EQ(Units(L"serial.dll"), v[0].data);
  EXPECT_EQ(Units(L"a\"b\\c"), v[1].data);
  EXPECT_EQ(L"", v[2].name);
  EXPECT_EQ(Units(L"caf\u00E9"), v[2].data);  // code page 1252 text
  EXPECT_EQ(DWORD(REG_DWORD), v[3].type);
  EXPECT_EQ(Bytes({0x1f, 0, 0, 0}), v[3].data);
  EXPECT_EQ(Bytes({0xbc, 0x0a, 0, 0}), v[4].data);
  EXPECT_EQ(DWORD(REG_BINARY), v[5].type);
  EXPECT_EQ(Bytes({0x01, 0xab, 0xff}), v[5].data);
  EXPECT_EQ(Bytes(), v[6].data);
  // Narrow strings in hex(2) and hex(7) become UTF-16LE.
  EXPECT_EQ(DWORD(REG_EXPAND_SZ), v[7].type);
  EXPECT_EQ(Units(L"%A%"), v[7].data);
  EXPECT_EQ(DWORD(REG_MULTI_SZ), v[8].type);
  EXPECT_EQ(Units(std::wstring(L"a\0b\0\0", 5), false), v[8].data);
  // The type number of hex(N) is hexadecimal, as the editors write it.
  EXPECT_EQ(DWORD(REG_QWORD), v[9].type);
  EXPECT_EQ(DWORD(0x100000), v[10].type);
}

TEST_F(Registry, Version5FilesInUtf16AndUtf8) {
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\ControlPanel\\\u0424\u043E\u043D]\r\n"
      u"\"Name\"=\"\u0416\U0001F600\"\r\n"
      u"\"Path\"=hex(2):25,00,41,00,00,00\r\n";
  Load(Utf16File(text));
  std::vector<Item> v = Values(HKEY_CURRENT_USER, L"controlpanel\\\u0444\u043E\u043D");
  ASSERT_EQ(2u, v.size());
  // Characters outside the basic plane stay a surrogate pair of units.
  EXPECT_EQ(Bytes({0x16, 0x04, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}), v[0].data);
  EXPECT_EQ(Units(L"%A"), v[1].data);  // hex(2) bytes are taken as they are

  // The same file in UTF-8, with and without its mark.
  std::string utf8 =
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_CURRENT_USER\\Software]\n"
      "\"Name\"=\"\xD0\x96\xF0\x9F\x98\x80\"\n";
  for (const std::string &file : {"\xEF\xBB\xBF" + utf8, utf8}) {
    PlatformResetDevice();
    Load(file);
    v = Values(HKEY_CURRENT_USER, L"Software");
    ASSERT_EQ(1u, v.size());
    EXPECT_EQ(Bytes({0x16, 0x04, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}), v[0].data);
  }
}

TEST_F(Registry, DeletionsAndRedefinitions) {
  Load(
      "REGEDIT4\n"
      "[HKLM\\A\\B\\C]\n"
      "\"v\"=\"1\"\n"
      "[HKLM\\A\\D]\n"
      "[-HKLM\\a\\b]\n"
      "\"ignored\"=\"after a deleted key\"\n"
      "[-HKLM\\Nowhere\\At\\All]\n"
      "[HKLM\\A]\n"
      "\"first\"=dword:1\n"
      "\"second\"=dword:2\n"
      "\"third\"=dword:3\n"
      "\"FIRST\"=dword:11\n"
      "\"second\"=-\n"
      "\"second\"=dword:22\n"
      "\"gone\"=dword:4\n"
      "\"Gone\"=-\n");
  EXPECT_EQ(std::vector<std::wstring>({L"D"}), Subkeys(HKEY_LOCAL_MACHINE, L"A"));
  HKEY key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"A\\B", 0, 0, &key));
  EXPECT_EQ(nullptr, key);
  // A redefined value keeps its place and first name; a deleted and
  // redefined one comes last.
  std::vector<Item> v = Values(HKEY_LOCAL_MACHINE, L"A");
  ASSERT_EQ(3u, v.size());
  EXPECT_EQ(L"first", v[0].name);
  EXPECT_EQ(Bytes({0x11, 0, 0, 0}), v[0].data);
  EXPECT_EQ(L"third", v[1].name);
  EXPECT_EQ(L"second", v[2].name);
  EXPECT_EQ(Bytes({0x22, 0, 0, 0}), v[2].data);
}

TEST_F(Registry, ContinuedLines) {
  Load(
      "REGEDIT4\r\n"
      "[HKEY_CLASSES_ROOT\\.txt]\r\n"
      "\"Bin\"=hex:01,02,\\\r\n"
      "    03,04,\\\r\n"
      "  05\r\n"
      "\"After\"=\"x\"\r\n"
      "\"Last\"=hex:0a,\\");
  std::vector<Item> v = Values(HKEY_CLASSES_ROOT, L".txt");
  ASSERT_EQ(3u, v.size());
  EXPECT_EQ(Bytes({1, 2, 3, 4, 5}), v[0].data);
  EXPECT_EQ(L"After", v[1].name);
  EXPECT_EQ(Bytes({0x0a}), v[2].data);
}

TEST_F(Registry, MalformedLinesAreReportedAndTheRestKept) {
  Load(
      "REGEDIT4\n"
      "\"early\"=\"x\"\n"                      // 2: no key yet
      "[HKEY_LOCAL_MACHINE\\Good]\n"           // 3
      "\"a\"=\"1\"\n"                          // 4
      "\"b\"=dword:123456789\n"                // 5: nine digits
      "\"c\"=hex:1,zz\n"                       // 6
      "\"d\"=\"open\n"                         // 7
      "\"e\" \"1\"\n"                          // 8
      "\"f\"=str:x\n"                          // 9
      "garbage\n"                              // 10
      "[HKEY_NOWHERE\\X]\n"                    // 11
      "\"silent\"=\"x\"\n"                     // 12: under a refused key
      "[HKEY_LOCAL_MACHINE\\Good\\\\Twice]\n"  // 13
      "[HKEY_LOCAL_MACHINE\\Good\n"            // 14
      "[-HKLM]\n"                              // 15
      "[HKEY_LOCAL_MACHINE\\Good]\n"
      "\"g\"=\"2\"\n");
  testing::internal::CaptureStderr();
  std::vector<Item> v = Values(HKEY_LOCAL_MACHINE, L"Good");
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(2u, v.size());
  EXPECT_EQ(L"a", v[0].name);
  EXPECT_EQ(L"g", v[1].name);
  EXPECT_EQ(
      "registry.reg:2: value outside of a key\n"
      "registry.reg:5: dword data must be 1 to 8 hex digits\n"
      "registry.reg:6: hex data must be bytes separated by commas\n"
      "registry.reg:7: string without its closing quote\n"
      "registry.reg:8: expected '=' after the name\n"
      "registry.reg:9: unknown value data\n"
      "registry.reg:10: not a key, a value or a comment\n"
      "registry.reg:11: unknown root key 'HKEY_NOWHERE'\n"
      "registry.reg:13: empty key name in the path\n"
      "registry.reg:14: key line without ']'\n"
      "registry.reg:15: a root key cannot be deleted\n",
      err);
  EXPECT_EQ(std::vector<std::wstring>(), Subkeys(HKEY_LOCAL_MACHINE, L"Good"));
}

TEST_F(Registry, FileWithoutHeaderIsReportedAndStillRead) {
  Load("[HKCU\\A]\n\"x\"=\"1\"\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(1u, Values(HKEY_CURRENT_USER, L"A").size());
  EXPECT_EQ("registry.reg:1: expected REGEDIT4 or Windows Registry Editor Version 5.00 first\n",
            testing::internal::GetCapturedStderr());
}

TEST_F(Registry, MissingFileIsAnEmptyRegistryAndAnUnreadableOneIsSaidOnce) {
  EXPECT_TRUE(Subkeys(HKEY_LOCAL_MACHINE, L"").empty());
  EXPECT_TRUE(Values(HKEY_LOCAL_MACHINE, L"").empty());

  PlatformResetDevice();
  device.mkdir("registry.reg");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Subkeys(HKEY_CURRENT_USER, L"").empty());
  EXPECT_TRUE(Subkeys(HKEY_CLASSES_ROOT, L"").empty());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("registry.reg: not a regular file\n", err);
}

TEST_F(Registry, SubkeysEnumerateInCaseInsensitiveOrderAndOpenInAnyCase) {
  Load(
      "REGEDIT4\n[HKCU\\S\\beta]\n[HKCU\\S\\Alpha]\n[HKCU\\S\\_under]\n[HKCU\\S\\Gamma]\n"
      "[HKCU\\S\\ALPHA\\Inner]\n[HKEY_USERS\\Default]\n");
  EXPECT_EQ(std::vector<std::wstring>({L"Alpha", L"beta", L"Gamma", L"_under"}),
            Subkeys(HKEY_CURRENT_USER, L"S"));
  EXPECT_EQ(std::vector<std::wstring>({L"Inner"}), Subkeys(HKEY_CURRENT_USER, L"s\\alpha"));
  EXPECT_EQ(std::vector<std::wstring>({L"Default"}), Subkeys(HKEY_USERS, L""));

  // A key opened from an opened key; the root itself from an empty path.
  HKEY s = Open(HKEY_CURRENT_USER, L"S");
  HKEY inner = Open(s, L"alpha\\INNER");
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(inner));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(s));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(s));
  HKEY key;
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(s, L"", 0, 0, &key));
  EXPECT_EQ(
      ERROR_INVALID_HANDLE,
      RegOpenKeyExW(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000004)), L"", 0, 0, &key));
}

TEST_F(Registry, CapacitiesAreReportedAndUpdated) {
  Load("REGEDIT4\n[HKLM\\K]\n\"Name\"=hex:01,02,03,04,05\n[HKLM\\K\\Subkey]\n");
  HKEY key = Open(HKEY_LOCAL_MACHINE, L"K");
  WCHAR name[16];
  BYTE data[16];
  DWORD type = 0;

  // The name needs five characters with its terminator.
  DWORD chars = 4, bytes = sizeof data;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &chars, nullptr, &type, data, &bytes));
  EXPECT_EQ(5u, chars);
  EXPECT_EQ(5u, bytes);
  // The data needs five bytes.
  chars = 16;
  bytes = 4;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &chars, nullptr, &type, data, &bytes));
  EXPECT_EQ(5u, chars);
  EXPECT_EQ(5u, bytes);
  // Exactly enough: the name's length comes back without the terminator.
  chars = 5;
  bytes = 5;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &chars, nullptr, &type, data, &bytes));
  EXPECT_EQ(4u, chars);
  EXPECT_EQ(std::wstring(L"Name"), name);
  EXPECT_EQ(DWORD(REG_BINARY), type);
  // No data buffer: a size query.
  chars = 16;
  bytes = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &chars, nullptr, &type, nullptr, &bytes));
  EXPECT_EQ(5u, bytes);
  chars = 16;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 1, name, &chars, nullptr, &type, data, &bytes));

  chars = 6;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(7u, chars);
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(6u, chars);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumKeyExW(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr));

  // A value by name, in any case.
  bytes = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"NAME", nullptr, &type, data, &bytes));
  EXPECT_EQ(5u, bytes);
  bytes = 2;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, L"name", nullptr, &type, data, &bytes));
  EXPECT_EQ(5u, bytes);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, L"other", nullptr, &type, data, &bytes));
  RegCloseKey(key);
}

TEST_F(Registry, ManyValuesKeepTheirOrderAndLookups) {
  std::string file = "REGEDIT4\n[HKLM\\Many]\n";
  for (int i = 0; i < 100; ++i)
    file += "\"v" + std::to_string(i) + "\"=dword:" + std::to_string(i) + "\n";
  file += "\"V5\"=-\n\"v7\"=dword:77\n\"v5\"=dword:55\n";
  Load(file);
  std::vector<Item> v = Values(HKEY_LOCAL_MACHINE, L"Many");
  ASSERT_EQ(100u, v.size());
  EXPECT_EQ(L"v6", v[5].name);
  EXPECT_EQ(L"v7", v[6].name);
  EXPECT_EQ(Bytes({0x77, 0, 0, 0}), v[6].data);
  EXPECT_EQ(L"v5", v[99].name);
}

TEST_F(Registry, ResetSwitchesToAnotherDevicesRegistry) {
  Load("REGEDIT4\n[HKLM\\First]\n");
  EXPECT_EQ(std::vector<std::wstring>({L"First"}), Subkeys(HKEY_LOCAL_MACHINE, L""));
  HKEY stale = Open(HKEY_LOCAL_MACHINE, L"First");
  Load("REGEDIT4\n[HKLM\\Second]\n");
  PlatformResetDevice();
  EXPECT_EQ(std::vector<std::wstring>({L"Second"}), Subkeys(HKEY_LOCAL_MACHINE, L""));
  WCHAR name[8];
  DWORD chars = 8;
  EXPECT_EQ(ERROR_INVALID_HANDLE,
            RegEnumKeyExW(stale, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
