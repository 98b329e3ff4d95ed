// The registry section of the snapshot: the lines of keys and values byte
// for byte, the order of the walk, and values and paths too large for the
// static buffers.
#include <gtest/gtest.h>

#include <string>

#include "output/output.h"
#include "platform_testing.h"
#include "snapshot/registry.h"
#include "reg_file.h"
#include "test_device.h"

using testing_device::TestDevice;
using testing_device::Utf16RegFile;

namespace {

class RegistryDump : public ::testing::Test {
 protected:
  TestDevice device;

  // Dumps `root` of the registry in `file` and returns the bytes written.
  std::string Dump(const std::string &file, HKEY root = HKEY_LOCAL_MACHINE,
                   const wchar_t *start = L"") {
    device.write("registry.reg", file);
    PlatformResetDevice();  // read the new file
    EXPECT_EQ(1, OutOpen(L"\\out.tvk", L"w"));
    EXPECT_EQ(1, DumpRegistryRoot(root, start));
    OutClose();
    return device.read("root/out.tvk");
  }
};

TEST_F(RegistryDump, ValueLines) {
  std::string out = Dump(
      "REGEDIT4\n[HKLM\\K]\n"
      "\"s\"=\"a\\\"b\\\\c\td\"\n"
      "\"Count\"=dword:1\n"
      "@=\"x\"\n"
      "\"n\"=dword:ff\n"
      "\"b\"=hex:01,AB,ff\n"
      "\"m\"=hex(7):61,00,00\n"
      "\"e\"=hex(2):\n"
      "\"big type\"=hex(ffffffff):00\n"
      "\"\\\\\\\"\"=\"\\x01\xE9\"\n");
  EXPECT_EQ(
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"s\"=\"a\\\"b\\\\c\\x09d\"\r\n"
      "\"Count\"=dword:00000001\r\n"
      "\"\"=\"x\"\r\n"
      "\"n\"=dword:000000FF\r\n"
      "\"b\"=hex(3):01,ab,ff\r\n"
      "\"m\"=hex(7):61,00,00,00,00,00\r\n"
      "\"e\"=hex(2):\r\n"
      "\"big type\"=hex(4294967295):00\r\n"
      "\"\\\\\\\"\"=\"\\\\x01\xE9\"\r\n"
      "\r\n",
      out);
  // The Count line is 22 characters before its CR LF.
  EXPECT_NE(std::string::npos, out.find("\r\n\"Count\"=dword:00000001\r\n"));
  EXPECT_EQ(22u, std::string("\"Count\"=dword:00000001").size());
}

TEST_F(RegistryDump, ControlCharactersAndCharactersOutsideTheCodePage) {
  std::u16string file =
      u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K]\r\n"
      u"\"t\x1F\"=\"\x01\u0416\"\r\n";
  EXPECT_EQ(
      "\r\n[HKEY_CURRENT_USER\\]\r\n"
      "\r\n[HKEY_CURRENT_USER\\K]\r\n"
      "\"t\\x1F\"=\"\\x01?\"\r\n"
      "\r\n",
      Dump(Utf16RegFile(file), HKEY_CURRENT_USER));
}

TEST_F(RegistryDump, KeysComeWithTheirValuesThenSubkeysLastEnumeratedFirst) {
  EXPECT_EQ(
      "\r\n[HKEY_CLASSES_ROOT\\]\r\n"
      "\"v\"=\"root\"\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\B]\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\B\\C]\r\n"
      "\"v\"=\"c\"\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\A]\r\n"
      "\r\n",
      Dump("REGEDIT4\n[HKCR\\A]\n[HKCR\\B\\C]\n\"v\"=\"c\"\n[HKCR\\]\n\"v\"=\"root\"\n",
           HKEY_CLASSES_ROOT));
}

TEST_F(RegistryDump, EmptyRootStartPathAndUnknownRoot) {
  EXPECT_EQ("\r\n[HKEY_USERS\\]\r\n\r\n", Dump("REGEDIT4\n", HKEY_USERS));
  // A start path is dumped from there down; a missing key keeps its header.
  EXPECT_EQ("\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"x\"=dword:00000002\r\n\r\n",
            Dump("REGEDIT4\n[HKLM\\A\\B]\n\"x\"=dword:2\n", HKEY_LOCAL_MACHINE, L"A\\B"));
  EXPECT_EQ("\r\n[HKEY_LOCAL_MACHINE\\Nowhere]\r\n\r\n",
            Dump("REGEDIT4\n", HKEY_LOCAL_MACHINE, L"Nowhere"));

  ASSERT_EQ(1, OutOpen(L"\\out.tvk", L"w"));
  EXPECT_EQ(0, DumpRegistryRoot(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000004)), L""));
  OutClose();
  EXPECT_EQ("", device.read("root/out.tvk"));
}

TEST_F(RegistryDump, ValuesLargerThanTheBuffersAreListedWholeAndTheRestFollow) {
  std::string file = "REGEDIT4\n[HKLM\\K]\n\"before\"=dword:1\n\"blob\"=hex:";
  std::string expected = "\"before\"=dword:00000001\r\n\"blob\"=hex(3):";
  for (int i = 0; i < 20000; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", i % 256);
    file += std::string(i ? "," : "") + byte;
    expected += std::string(i ? "," : "") + byte;
  }
  std::string longName(1500, 'n');
  file += "\n\"" + longName + "\"=\"long name\"\n\"after\"=dword:2\n";
  expected += "\r\n\"" + longName + "\"=\"long name\"\r\n\"after\"=dword:00000002\r\n";
  std::string out = Dump(file);
  EXPECT_EQ("\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n" + expected + "\r\n",
            out);
}

TEST_F(RegistryDump, LongStringsAreWrittenWholeWithTheirClosingQuote) {
  // 9000 quotes escape to 18000 characters, more than the narrow scratch.
  std::string value(9000, '"');
  std::string escaped;
  for (size_t i = 0; i < value.size(); ++i) escaped += "\\\"";
  std::string file = "REGEDIT4\n[HKLM\\K]\n\"q\"=\"";
  for (size_t i = 0; i < value.size(); ++i) file += "\\\"";
  file += "\"\n\"t\"=\"" + std::string(20000, 't') + "\"\n";
  EXPECT_EQ("\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"q\"=\"" + escaped +
                "\"\r\n\"t\"=\"" + std::string(20000, 't') + "\"\r\n\r\n",
            Dump(file));
}

TEST_F(RegistryDump, LoneSurrogatesInLongNamesAndStringsAreWrittenWholeAsQuestionMarks) {
  // Long runs of low surrogates with no high one before them, as a value
  // name, as string data and as a quoted string, in a UTF-16LE file and in
  // an ASCII one; each unit becomes one '?', and nothing is cut.
  std::string lows40k, lows20k;
  for (int i = 0; i < 40000; ++i) lows40k += i ? ",00,dc" : "00,dc";
  for (int i = 0; i < 20000; ++i) lows20k += i ? ",00,dc" : "00,dc";
  std::u16string quoted(30000, u'\xDE00');
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n\"" +
                        std::u16string(40000, u'\xDC01') + u"\"=dword:1\r\n";
  for (char c : "\"a\"=hex(1):" + lows40k + "\r\n\"b\"=hex(1):" + lows20k + "\r\n\"c\"=\"")
    text += static_cast<char16_t>(c);
  text += quoted + u"\"\r\n";
  std::string expected = "\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"" +
                         std::string(40000, '?') + "\"=dword:00000001\r\n\"a\"=\"" +
                         std::string(40000, '?') + "\"\r\n\"b\"=\"" + std::string(20000, '?') +
                         "\"\r\n\"c\"=\"" + std::string(30000, '?') + "\"\r\n\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : text) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  EXPECT_EQ(expected, Dump(utf16));
  // The same file in UTF-8: the name and the quoted string are then U+FFFD
  // (a surrogate cannot be written in UTF-8), the hex(1) data lone units.
  std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n\"n\"=dword:1\r\n"
      "\"a\"=hex(1):" +
      lows40k + "\r\n\"b\"=hex(1):" + lows20k + "\r\n";
  EXPECT_EQ(
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"n\"=dword:00000001\r\n\"a\"=\"" +
          std::string(40000, '?') + "\"\r\n\"b\"=\"" + std::string(20000, '?') + "\"\r\n\r\n",
      Dump(utf8));
}

TEST_F(RegistryDump, ShortOrUnterminatedData) {
  EXPECT_EQ(
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\"unterminated\"=\"ab\"\r\n"
      "\"odd\"=\"ab\"\r\n"
      "\"inner nul\"=\"a\"\r\n"
      "\"empty\"=\"\"\r\n"
      "\"one byte\"=dword:000000FF\r\n"
      "\"no bytes\"=dword:00000000\r\n"
      "\"six bytes\"=dword:04030201\r\n"
      "\r\n",
      Dump("Windows Registry Editor Version 5.00\n[HKLM\\K]\n"
           "\"unterminated\"=hex(1):61,00,62,00\n"
           "\"odd\"=hex(1):61,00,62,00,63\n"
           "\"inner nul\"=hex(1):61,00,00,00,62,00,00,00\n"
           "\"empty\"=hex(1):\n"
           "\"one byte\"=hex(4):ff\n"
           "\"no bytes\"=hex(4):\n"
           "\"six bytes\"=hex(4):01,02,03,04,05,06\n"));
}

TEST_F(RegistryDump, PathsLongerThanTheBufferAreSkippedWithTheirSubtree) {
  // K\<1000 x>\<30 y> is 1033 characters: it and its subkey are left out,
  // its parent and its sibling are not. A name of 1100 characters does not
  // fit the name buffer: skipped too, and the siblings after it still come.
  std::string x(1000, 'x'), y(30, 'y'), z(1100, 'z');
  std::string file = "REGEDIT4\n[HKLM\\K\\" + x + "\\" + y + "\\deeper]\n[HKLM\\K\\" + x +
                     "\\short]\n[HKLM\\K\\" + z + "\\below]\n[HKLM\\K\\~last]\n";
  EXPECT_EQ(
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\K\\~last]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\K\\" +
          x + "]\r\n\r\n[HKEY_LOCAL_MACHINE\\K\\" + x + "\\short]\r\n\r\n",
      Dump(file));
}

TEST_F(RegistryDump, KeyStackIsLastInFirstOutAndRefusesWhatDoesNotFit) {
  WCHAR path[REG_PATH_CHARS];
  KeyStackPush(L"first");
  KeyStackPush(L"second");
  KeyStackPush(std::wstring(REG_PATH_CHARS, L'p').c_str());  // too long: not pushed
  PlatformFailCall("LocalAlloc", 2, 1);                      // no memory for the copy
  KeyStackPush(L"lost");
  ASSERT_EQ(1, KeyStackPop(path));
  EXPECT_EQ(std::wstring(L"second"), path);
  ASSERT_EQ(1, KeyStackPop(path));
  EXPECT_EQ(std::wstring(L"first"), path);
  EXPECT_EQ(0, KeyStackPop(path));
}

}  // namespace
