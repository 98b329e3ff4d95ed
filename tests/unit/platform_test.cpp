// The host platform layer against the device's contracts: time and date
// pictures, formatted output, upper case, code page and device paths.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME t = {};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  return t;
}

TEST(Time, FileTimesConvertBothWays) {
  SYSTEMTIME t = Time(2026, 12, 7, 10, 19, 17);
  t.wMilliseconds = 250;
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&t, &ft));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(2026, back.wYear);
  EXPECT_EQ(12, back.wMonth);
  EXPECT_EQ(7, back.wDay);
  EXPECT_EQ(1, back.wDayOfWeek);  // a Monday
  EXPECT_EQ(10, back.wHour);
  EXPECT_EQ(19, back.wMinute);
  EXPECT_EQ(17, back.wSecond);
  EXPECT_EQ(250, back.wMilliseconds);

  FILETIME epoch = {0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&epoch, &back));
  EXPECT_EQ(1601, back.wYear);
  EXPECT_EQ(1, back.wDay);

  FILETIME leap;
  SYSTEMTIME feb29 = Time(2024, 2, 29, 23, 59, 59);
  ASSERT_TRUE(SystemTimeToFileTime(&feb29, &leap));
  ASSERT_TRUE(FileTimeToSystemTime(&leap, &back));
  EXPECT_EQ(29, back.wDay);
  SYSTEMTIME feb29Bad = Time(2023, 2, 29, 0, 0, 0);
  EXPECT_FALSE(SystemTimeToFileTime(&feb29Bad, &leap));

  FILETIME tooLate = {0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &back));
}

TEST(Time, DateAndTimePictures) {
  SYSTEMTIME t = Time(2026, 3, 7, 9, 5, 4);
  WCHAR out[64];
  EXPECT_EQ(11, GetDateFormatW(LOCALE_USER_DEFAULT, 0, &t, L"dd/MM/yyyy", out, 12));
  EXPECT_STREQ(L"07/03/2026", out);
  EXPECT_EQ(7, GetDateFormatW(LOCALE_USER_DEFAULT, 0, &t, L"ddMMyy", out, 12));
  EXPECT_STREQ(L"070326", out);
  GetDateFormatW(LOCALE_USER_DEFAULT, 0, &t, L"d M y ddd dddd MMM MMMM 'dd''s' h", out, 64);
  EXPECT_STREQ(L"7 3 26 Sat Saturday Mar March dd's h", out);
  EXPECT_EQ(7, GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, L"HHmmss", out, 12));
  EXPECT_STREQ(L"090504", out);
  EXPECT_EQ(6, GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, L"HH:mm", out, 12));
  EXPECT_STREQ(L"09:05", out);
  SYSTEMTIME evening = Time(2026, 3, 7, 21, 5, 4);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &evening, L"H:m:s h hh tt t d", out, 64);
  EXPECT_STREQ(L"21:5:4 9 09 PM P d", out);

  // The size asked for with no buffer counts the terminator; a buffer that
  // is too small is an error.
  EXPECT_EQ(11, GetDateFormatW(LOCALE_USER_DEFAULT, 0, &t, L"dd/MM/yyyy", nullptr, 0));
  SetLastError(0);
  EXPECT_EQ(0, GetDateFormatW(LOCALE_USER_DEFAULT, 0, &t, L"dd/MM/yyyy", out, 10));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  SYSTEMTIME bad = Time(2026, 13, 1, 0, 0, 0);
  EXPECT_EQ(0, GetDateFormatW(LOCALE_USER_DEFAULT, 0, &bad, L"dd", out, 12));
}

TEST(Format, WideAndNarrowPrintfAsOnTheDevice) {
  WCHAR wide[128];
  EXPECT_EQ(25, wsprintfW(wide, L"\n[%s\\%s]\n", L"HKEY_CURRENT_USER", L"A\\B"));
  EXPECT_STREQ(L"\n[HKEY_CURRENT_USER\\A\\B]\n", wide);
  wsprintfW(wide, L"\\x%02X", 9);
  EXPECT_STREQ(L"\\x09", wide);
  wsprintfW(wide, L"%d|%u|%x|%-4d|%04d|%S|%c", -5, 4000000000u, 255, 7, -7, "nar", L'w');
  EXPECT_STREQ(L"-5|4000000000|ff|7   |-007|nar|w", wide);

  char narrow[128];
  ce_sprintf(narrow, "%10d ", 1234);
  EXPECT_STREQ("      1234 ", narrow);
  ce_sprintf(narrow, "%10d ", static_cast<int>(3000000000u));
  EXPECT_STREQ("-1294967296 ", narrow);
  ce_sprintf(narrow, "%08lX ", static_cast<DWORD>(0x89A1897F));
  EXPECT_STREQ("89A1897F ", narrow);
  ce_sprintf(narrow, "%10I64u|% 12d |%6d |%s|%%", 3000000000ull, 0, 42, "txt");
  EXPECT_STREQ("3000000000|           0 |    42 |txt|%", narrow);
  ce_sprintf(narrow, "%s", L"x" + 0 == nullptr ? "" : "ok");
  EXPECT_STREQ("ok", narrow);
}

TEST(Format, UpperCaseCoversLatinGreekAndCyrillic) {
  WCHAR text[] = L"abc\u00e9\u00ff\u0101\u0107\u03b1\u03c2\u0430\u044f\u0451 1-\\temp";
  _wcsupr(text);
  EXPECT_STREQ(L"ABC\u00c9\u0178\u0100\u0106\u0391\u03a3\u0410\u042f\u0401 1-\\TEMP", text);
}

TEST(CodePage, WideToNarrowAndBack) {
  TestDevice device;
  char narrow[16];
  BOOL defaulted = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, L"\u00e9\u4e2d", -1, narrow, 16, nullptr, &defaulted);
  EXPECT_EQ(3, n);
  EXPECT_STREQ("\xE9?", narrow);
  EXPECT_TRUE(defaulted);
  EXPECT_EQ(3, WideCharToMultiByte(CP_ACP, 0, L"abc", 3, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, L"abcd", -1, narrow, 4, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

  WCHAR wide[16];
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\x80\xE9", -1, wide, 16));
  EXPECT_STREQ(L"\u20ac\u00e9", wide);

  char bytes[8];
  EXPECT_EQ(3u, ce_wcstombs(bytes, L"a\u00e9\u4e2d", 8));
  EXPECT_STREQ("a\xE9?", bytes);
  EXPECT_EQ(5u, ce_wcstombs(nullptr, L"hello", 0));

  // An unknown code page falls back to 1252 and says so.
  device.write("device.ini", "codepage=99999\n");
  PlatformResetDevice();
  testing::internal::CaptureStderr();
  EXPECT_EQ(2, WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, narrow, 16, nullptr, nullptr));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("99999"));
  EXPECT_STREQ("\xE9", narrow);
}

TEST(Files, DevicePathsAreCaseInsensitiveAndStayInsideTheDevice) {
  TestDevice device;
  device.write("root/My Documents/Note.TXT", "hello");
  HANDLE file =
      CreateFileW(L"/my documents\\note.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(5u, read);
  EXPECT_STREQ("hello", buffer);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));

  // A relative path is taken from the root.
  file = CreateFileW(L"MY DOCUMENTS\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  EXPECT_EQ(std::vector<std::string>({"Note.TXT", "new.txt"}), device.list("root/My Documents"));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(L"\\my documents\\NEW.TXT", GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\..\\escape.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\missing\\x.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  std::wstring tooLong = L"\\" + std::wstring(MAX_PATH, L'x');
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(tooLong.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\My Documents", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

TEST(Files, FilePointerAndEndOfFile) {
  TestDevice device;
  device.write("root/f.bin", "0123456789");
  HANDLE file =
      CreateFileW(L"\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(10u, SetFilePointer(file, 0, nullptr, FILE_END));
  EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -10, nullptr, FILE_CURRENT));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "ab", 2, &written, nullptr));
  EXPECT_EQ(2u, written);
  CloseHandle(file);
  EXPECT_EQ("0123ab", device.read("root/f.bin"));
}

TEST(Shell, DocumentsFolderIsCreatedWhenAsked) {
  TestDevice device;
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PERSONAL, TRUE));
  EXPECT_STREQ(L"\\My Documents", path);
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

}  // namespace
