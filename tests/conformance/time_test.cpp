// Time conversions and the date and time pictures the snapshot uses, the
// same assertions on the device layer and on Windows.
#include <gtest/gtest.h>

#include "scratch.h"

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

TEST(ConformanceTime, FileTimesConvertBothWays) {
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
  // Wine 8 takes 29 February of a common year for 1 March; the device and
  // Windows refuse it.
  SYSTEMTIME feb29Bad = Time(2023, 2, 29, 0, 0, 0);
  if (!conformance::RunningOnWine()) {
    EXPECT_FALSE(SystemTimeToFileTime(&feb29Bad, &leap));
  }
  SYSTEMTIME day32 = Time(2023, 1, 32, 0, 0, 0);
  EXPECT_FALSE(SystemTimeToFileTime(&day32, &leap));

  FILETIME tooLate = {0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &back));
}

TEST(ConformanceTime, DateAndTimePictures) {
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

}  // namespace
