// The device registry read from registry.reg: both file encodings, value
// kinds, deletions, continuations, malformed lines, and the contracts of
// the registry calls (capacities, end of enumeration, missing keys, order).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform.h"
#include "platform_testing.h"
#include "reg_file.h"
#include "test_device.h"

using testing_device::TestDevice;
using testing_device::Utf16RegFile;

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

  // A value as "name=data": a terminated string in quotes (control
  // characters as \x0A), a dword in hex, anything else as hex(N):bytes.
  static std::string Show(const Item &item) {
    auto text = [](const std::wstring &units) {
      std::string out;
      char code[8];
      for (WCHAR c : units) {
        if (c < 32) {
          std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned>(c));
          out += code;
        } else {
          out += static_cast<char>(c);
        }
      }
      return out;
    };
    const Bytes &d = item.data;
    std::string out = text(item.name) + "=";
    char hex[16];
    if (item.type == REG_SZ && d.size() % 2 == 0 && d.size() >= 2 && d[d.size() - 2] == 0 &&
        d.back() == 0) {
      std::wstring units;
      for (size_t i = 0; i + 2 < d.size(); i += 2)
        units += static_cast<WCHAR>(d[i] | d[i + 1] << 8);
      return out + "\"" + text(units) + "\"";
    }
    if (item.type == REG_DWORD && d.size() == 4) {
      std::snprintf(hex, sizeof hex, "dword:%02x%02x%02x%02x", d[3], d[2], d[1], d[0]);
      return out + hex;
    }
    out += "hex(" + std::to_string(item.type) + "):";
    for (size_t i = 0; i < d.size(); ++i) {
      std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", d[i]);
      out += hex;
    }
    return out;
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
  Load(Utf16RegFile(text));
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
      "[HKLM\\A\\b\\E]\n"  // made again, empty but for E
      "[HKLM\\A]\n"
      "\"first\"=dword:1\n"
      "\"second\"=dword:2\n"
      "\"third\"=dword:3\n"
      "\"FIRST\"=dword:11\n"
      "\"second\"=-\n"
      "\"second\"=dword:22\n"
      "\"gone\"=dword:4\n"
      "\"Gone\"=-\n");
  EXPECT_EQ(std::vector<std::wstring>({L"b", L"D"}), Subkeys(HKEY_LOCAL_MACHINE, L"A"));
  EXPECT_EQ(std::vector<std::wstring>({L"E"}), Subkeys(HKEY_LOCAL_MACHINE, L"A\\B"));
  EXPECT_TRUE(Values(HKEY_LOCAL_MACHINE, L"A\\B").empty());
  HKEY key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"A\\B\\C", 0, 0, &key));
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

TEST_F(Registry, MalformedLinesAreReportedAndTheRestKept) {
  Load(
      "REGEDIT4\n"
      "\"early\"=\"x\"\n"               // 2: no key yet
      "[HKEY_LOCAL_MACHINE\\Good]\n"    // 3
      "\"a\"=\"1\"\n"                   // 4
      "\"b\"=dword:123456789\n"         // 5: nine digits
      "\"c\"=hex:1,zz\n"                // 6
      "\"d\"=\"open\n"                  // 7
      "\"e\" \"1\"\n"                   // 8
      "\"f\"=str:x\n"                   // 9
      "garbage\n"                       // 10
      "[HKEY_NOWHERE\\X]\n"             // 11
      "\"silent\"=\"x\"\n"              // 12: under a refused key
      "[HKEY_LOCAL_MACHINE\\\\Good]\n"  // 13
      "[HKEY_LOCAL_MACHINE\\Good\n"     // 14
      "[-HKLM]\n"                       // 15
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
      "registry.reg:5: dword: needs 1 to 8 hex digits\n"
      "registry.reg:6: hex data must be bytes (00 to ff) separated by commas\n"
      "registry.reg:7: the string has no closing quote\n"
      "registry.reg:8: expected = after the name\n"
      "registry.reg:9: unknown data (write \"text\", dword:, hex:, hex(N): or multi_sz:, in lower "
      "case)\n"
      "registry.reg:10: not a key, a value or a comment\n"
      "registry.reg:11: unknown root key 'HKEY_NOWHERE'\n"
      "registry.reg:13: two backslashes after the root key\n"
      "registry.reg:14: key line without ']'\n"
      "registry.reg:15: a root key cannot be deleted\n",
      err);
  EXPECT_EQ(std::vector<std::wstring>(), Subkeys(HKEY_LOCAL_MACHINE, L"Good"));
}

// One small file per case: the values of HKEY_CURRENT_USER\T (or the key
// named) as "name=data", and what is said on standard error.
TEST_F(Registry, LinesAreReadAsTheImportersReadThem) {
  struct Case {
    const char *what;
    std::string file;  // after a REGEDIT4 line unless it starts with its own header
    std::vector<std::string> values;
    std::string errors;
    const wchar_t *key;
  };
  const std::string k = "[HKEY_CURRENT_USER\\T]\r\n";
  const Case cases[] = {
      {"comments after each kind of value",
       k + "\"a\"=\"v\";c\r\n\"b\"=dword:02040608 ;c\r\n\"c\"=hex:01,02 ;c\r\n"
           "\"d\"=hex(2):41;c\r\n\"e\"=\"x\"\r\n\"e\"=- ;gone\r\n\"f\"=dword:  00000008\r\n"
           "\"g\"=dword: ;only a comment\r\n\"h\"=hex:;c\r\n",
       {"a=\"v\"", "b=dword:02040608", "c=hex(3):01,02", "d=hex(2):41,00,00,00", "f=dword:00000008",
        "g=dword:00000000", "h=hex(3):"},
       "",
       L"T"},
      {"# is no comment after data, nor is text after =-",
       k + "\"a\"=\"v\" #c\r\n\"b\"=dword:1 #c\r\n\"c\"=\"x\"\r\n\"c\"=- "
           "x\r\n\"d\"=dword:0000000G\r\n"
           "\"e\"=DWORD:1\r\n",
       {"c=\"x\""},
       "registry.reg:3: text after the value (a comment must start with ;)\n"
       "registry.reg:4: text after the value (a comment must start with ;)\n"
       "registry.reg:6: text after =- (a comment must start with ;)\n"
       "registry.reg:7: dword: needs 1 to 8 hex digits\n"
       "registry.reg:8: unknown data (write \"text\", dword:, hex:, hex(N): or multi_sz:, in lower "
       "case)\n",
       L"T"},
      {"escapes in names and strings",
       k + "\"n\\n\"=\"a\\nb\\rc\"\r\n\"q\"=\"\\\"\\\\\"\r\n\"t\"=\"a\\tb\"\r\n\"z\"=\"a\\0b\"\r\n"
           "\"z\\0\"=\"x\"\r\n\"u\"=\"x\\\"\r\n",
       {"n\\x0A=\"a\\x0Ab\\x0Dc\"", "q=\"\"\\\"", "t=\"a\\tb\""},
       "registry.reg:5: unknown escape \\t (known are \\\\ \\\" \\n \\r); kept as written\n"
       "registry.reg:6: \\0 inside quotes (a name or string cannot hold a NUL); the value is left "
       "out\n"
       "registry.reg:7: \\0 inside quotes (a name or string cannot hold a NUL); the value is left "
       "out\n"
       "registry.reg:8: the string has no closing quote\n",
       L"T"},
      {"continuations kept",
       k + "\"a\"=hex:01,\\\r\n  02\r\n\"b\"=hex:01, \\ ;c\r\n\r\n  ;c\r\n;c\r\n\t02,\\\r\n03 "
           ";c\r\n"
           "\"c\"=hex(7):61,00,\\\r\n  00",
       {"a=hex(3):01,02", "b=hex(3):01,02,03", "c=hex(7):61,00,00,00,00,00"},
       "",
       L"T"},
      {"continuations refused",
       k + "\"a\"=hex:01,\\\r\n\"lost\"=\"1\"\r\n"          // 3, 4
           "\"b\"=hex:01,\\\r\n,02\r\n"                     // 5, 6
           "\"c\"=hex:4\\\r\nf\r\n"                         // 7, 8
           "\"d\"=hex:01,\\\r\n\\\r\n\"kept\"=\"1\"\r\n"    // 9, 10, 11
           "\"e\"=hex:4c,69,6e,65\\\r\n\"next\"=\"2\"\r\n"  // 12, 13
           "\"f\"=dword:1,\\\r\n"                           // 14
           "\"g\"=hex:01,\\\r\n# x\r\n"                     // 15, 16
           "\"h\"=hex:01,\\\r\n02, \r\n"                    // 17, 18: blank after the comma
           "\"i\"=hex:01,\\x\r\n",                          // 19
       {"kept=\"1\"", "next=\"2\""},
       "registry.reg:4: the data of line 3 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n"
       "registry.reg:6: the data of line 5 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n"
       "registry.reg:7: a backslash continues hex data only after a comma (write 65,\\)\n"
       "registry.reg:8: not a key, a value or a comment\n"
       "registry.reg:10: the data of line 9 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n"
       "registry.reg:12: a backslash continues hex data only after a comma (write 65,\\)\n"
       "registry.reg:14: text after the value (a comment must start with ;)\n"
       "registry.reg:16: the data of line 15 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n"
       "registry.reg:18: hex data must be bytes (00 to ff) separated by commas\n"
       "registry.reg:19: text after the backslash (a comment must start with ;)\n",
       L"T"},
      {"a key line after a continuation is left out with the value",
       k + "\"a\"=hex:01,\\\r\n[HKEY_CURRENT_USER\\Other]\r\n\"b\"=\"1\"\r\n",
       {"b=\"1\""},
       "registry.reg:4: the data of line 3 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n",
       L"T"},
      {"text in hex gets its terminator",
       k + "\"a\"=hex(2):41,42\r\n\"b\"=hex(7):61,00,62\r\n\"c\"=hex(1):41,00\r\n"
           "\"d\"=hex(2):\r\n\"e\"=hex(3):41\r\n",
       {"a=hex(2):41,00,42,00,00,00", "b=hex(7):61,00,00,00,62,00,00,00", "c=\"A\"",
        "d=hex(2):", "e=hex(3):41"},
       "",
       L"T"},
      {"version 5 text in hex gets its terminator",
       "Windows Registry Editor Version 5.00\r\n" + k +
           "\"a\"=hex(2):41,00,42,00\r\n\"b\"=hex(7):61,00,00,00\r\n\"c\"=hex(1):41,00,42\r\n",
       {"a=hex(2):41,00,42,00,00,00", "b=hex(7):61,00,00,00", "c=hex(1):41,00,42"},
       "",
       L"T"},
      {"key paths",
       "[HKEY_CURRENT_USER\\T\\Sub\\\\]\r\n\"a\"=\"1\"\r\n[HKEY_CURRENT_USER\\T\\Sub]x\r\n\"b\"="
       "\"2\"\r\n"
       "[HKEY_CURRENT_USER\\T\\Sub\r\n\"c\"=\"3\"\r\n[ HKEY_CURRENT_USER\\T\\Sub]\r\n"
       "[HKEY_CURRENT_USER\\\\T]\r\n\"d\"=\"4\"\r\n",
       {"a=\"1\"", "b=\"2\"", "c=\"3\""},
       "registry.reg:6: key line without ']'\n"
       "registry.reg:8: blank after '[' (the key path starts right after the bracket)\n"
       "registry.reg:9: two backslashes after the root key\n",
       L"T\\Sub"},
      {"multi_sz with a continuation",
       k + "\"m\"=multi_sz:\"first\",\r\n   ; c\r\n  \"second\" , \"\\\"\" ;c\r\n"
           "\"n\"=multi_sz:\"x\",\r\n\"lost\"=\"1\"\r\n\"o\"=multi_sz:\"x\" \"y\"\r\n",
       {"m=hex(7):66,00,69,00,72,00,73,00,74,00,00,00,73,00,65,00,63,00,6f,00,6e,00,64,00,00,00,"
        "22,00,00,00,00,00"},
       "registry.reg:7: the data of line 6 ends with a continuation but this line does not go on "
       "with it; the value and this line are left out\n"
       "registry.reg:8: multi_sz: needs strings in quotes separated by commas\n",
       L"T"},
      {"conditionals: both branches are read",
       k + "IF BSP_A\r\n\"a\"=\"1\"\r\nELSE\r\n\"b\"=\"2\"\r\nENDIF\r\n",
       {"a=\"1\"", "b=\"2\""},
       "registry.reg:3: conditional not supported: both branches are read\n"
       "registry.reg:5: conditional not supported: both branches are read\n"
       "registry.reg:7: conditional not supported: both branches are read\n",
       L"T"},
  };
  const char *refused[] = {"REGEDIT3",
                           "regedit4",
                           "REGEDIT 4",
                           "REGEDIT4 FOO",
                           "REGEDIT4 ",
                           "REGEDIT",
                           "Windows Registry Editor version 5.00",
                           "",
                           "; comment"};
  const char kRefusal[] =
      "registry.reg:1: not a registry file: the first line must be REGEDIT4 or Windows Registry "
      "Editor Version 5.00, exactly; nothing of it is read\n";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    PlatformResetDevice();
    Load(c.file.compare(0, 8, "Windows ") == 0 ? c.file : "REGEDIT4\r\n" + c.file);
    testing::internal::CaptureStderr();
    std::vector<std::string> shown;
    for (const Item &item : Values(HKEY_CURRENT_USER, c.key)) shown.push_back(Show(item));
    EXPECT_EQ(c.errors, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.values, shown);
  }
  // The header: exact, after blanks, in either encoding; any other first
  // line refuses the whole file.
  for (const char *header : {"REGEDIT4", " \tREGEDIT4", "Windows Registry Editor Version 5.00"}) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(std::string(header) + (wide ? " in UTF-16" : ""));
      PlatformResetDevice();
      std::string file = std::string(header) + "\r\n" + k + "\"a\"=\"1\"\r\n";
      Load(wide ? Utf16RegFile(std::u16string(file.begin(), file.end())) : file);
      EXPECT_EQ(1u, Values(HKEY_CURRENT_USER, L"T").size());
    }
  }
  for (const char *header : refused) {
    SCOPED_TRACE(header);
    PlatformResetDevice();
    Load(std::string(header) + "\r\nREGEDIT4\r\n" + k + "\"a\"=\"1\"\r\n");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Subkeys(HKEY_CURRENT_USER, L"").empty());
    EXPECT_EQ(kRefusal, testing::internal::GetCapturedStderr());
  }
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
