// Formatted text, scanning, upper case and the ANSI code page (1252), the
// same assertions on the device layer and on Windows.
#include <gtest/gtest.h>

#include "scratch.h"

namespace {

TEST(ConformanceText, WidePrintfTakesWideStrings) {
  WCHAR wide[128];
  EXPECT_EQ(25, wsprintfW(wide, L"\n[%s\\%s]\n", L"HKEY_CURRENT_USER", L"A\\B"));
  EXPECT_STREQ(L"\n[HKEY_CURRENT_USER\\A\\B]\n", wide);
  wsprintfW(wide, L"\\x%02X", 9);
  EXPECT_STREQ(L"\\x09", wide);
  wsprintfW(wide, L"%d|%u|%x|%-4d|%04d|%S|%c", -5, 4000000000u, 255, 7, -7, "nar", L'w');
  EXPECT_STREQ(L"-5|4000000000|ff|7   |-007|nar|w", wide);
}

TEST(ConformanceText, NarrowPrintfAsOnTheDevice) {
  char narrow[128];
  ce_sprintf(narrow, "%10d ", 1234);
  EXPECT_STREQ("      1234 ", narrow);
  ce_sprintf(narrow, "%10d ", static_cast<int>(3000000000u));
  EXPECT_STREQ("-1294967296 ", narrow);
  ce_sprintf(narrow, "%08lX ", static_cast<DWORD>(0x89A1897F));
  EXPECT_STREQ("89A1897F ", narrow);
  ce_sprintf(narrow, "%10I64u|% 12d |%6d |%s|%%", 3000000000ull, 0, 42, "txt");
  EXPECT_STREQ("3000000000|           0 |    42 |txt|%", narrow);
}

TEST(ConformanceText, UpperCaseCoversLatinGreekAndCyrillic) {
  WCHAR text[] = L"abc\u00e9\u00ff\u0101\u0107\u03b1\u0430\u044f\u0451 1-\\temp";
  DEVICE_WCSUPR(text);
  EXPECT_STREQ(L"ABC\u00c9\u0178\u0100\u0106\u0391\u0410\u042f\u0401 1-\\TEMP", text);
  // Final sigma: Windows' case table gives capital sigma; Wine 8's keeps it.
  WCHAR sigma[] = L"\u03c2";
  DEVICE_WCSUPR(sigma);
  if (!conformance::RunningOnWine()) {
    EXPECT_STREQ(L"\u03a3", sigma);
  }
}

TEST(ConformanceText, WideToNarrowInTheAnsiCodePage) {
  conformance::Scratch scratch;  // a device with the default code page
  char narrow[16];
  BOOL defaulted = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, L"\u00e9\u4e2d", -1, narrow, 16, nullptr, &defaulted);
  EXPECT_EQ(3, n);
  EXPECT_STREQ("\xE9?", narrow);
  EXPECT_TRUE(defaulted);
  EXPECT_EQ(3, WideCharToMultiByte(CP_ACP, 0, L"abc", 3, nullptr, 0, nullptr, nullptr));
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, L"abcd", -1, narrow, 4, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

  WCHAR wide[16];
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\x80\xE9", -1, wide, 16));
  EXPECT_STREQ(L"\u20ac\u00e9", wide);

  char bytes[8];
  EXPECT_EQ(3u, ce_wcstombs(bytes, L"a\u00e9\u4e2d", 8));
  EXPECT_STREQ("a\xE9?", bytes);
  EXPECT_EQ(5u, ce_wcstombs(nullptr, L"hello", 0));
  // Too small for the text: the bytes that fit, no terminator.
  memset(bytes, 'x', sizeof bytes);
  EXPECT_EQ(3u, ce_wcstombs(bytes, L"\u20acabc", 3));
  EXPECT_EQ(0, memcmp("\x80"
                      "abx",
                      bytes, 4));
}

// A settings line read back through the device's stream calls.
TEST(ConformanceText, LinesReadInTheAnsiCodePage) {
  conformance::Scratch scratch;
  scratch.WriteFile(L"cfg.txt", "Exclude \\caf\xE9\r\nSetup 0\r\n");
  std::wstring path = scratch.Path(L"cfg.txt");
  char narrowPath[MAX_PATH];
  ASSERT_GT(
      WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, narrowPath, MAX_PATH, nullptr, nullptr), 0);
  ce_FILE *file = ce_fopen(narrowPath, "r");
  ASSERT_NE(nullptr, file);
  WCHAR line[256];
  ASSERT_NE(nullptr, ce_fgetws(line, 256, file));
  // The line ends with the line feed, a CR before it where the runtime's
  // text mode keeps it; the text before is the same on both.
  EXPECT_EQ(0, wcsncmp(L"Exclude \\caf\u00e9", line, 13));
  ASSERT_NE(nullptr, ce_fgetws(line, 5, file));
  EXPECT_STREQ(L"Setu", line);
  ASSERT_NE(nullptr, ce_fgetws(line, 256, file));
  ASSERT_EQ(nullptr, ce_fgetws(line, 256, file));
  ce_fclose(file);
}

}  // namespace
