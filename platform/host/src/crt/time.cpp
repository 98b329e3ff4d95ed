// time.cpp - the clock, FILETIME and SYSTEMTIME, and date and time
// pictures (GetDateFormatW, GetTimeFormatW).
#include <time.h>

#include <string>

#include "internal.h"

namespace {

// FILETIME counts 100-nanosecond ticks since 1 January 1601 (UTC).
const int64_t kTicksPerSecond = 10000000;
const int64_t kSecondsFrom1601To1970 = 11644473600LL;

const WCHAR *const kDayNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                  L"Thursday", L"Friday", L"Saturday"};
const WCHAR *const kMonthNames[] = {L"January",   L"February", L"March",    L"April",
                                    L"May",       L"June",     L"July",     L"August",
                                    L"September", L"October",  L"November", L"December"};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int *year, unsigned *month, unsigned *day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (*month <= 2));
}

void FromTm(const struct tm &t, long nanoseconds, SYSTEMTIME *out) {
  out->wYear = static_cast<WORD>(t.tm_year + 1900);
  out->wMonth = static_cast<WORD>(t.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out->wDay = static_cast<WORD>(t.tm_mday);
  out->wHour = static_cast<WORD>(t.tm_hour);
  out->wMinute = static_cast<WORD>(t.tm_min);
  out->wSecond = static_cast<WORD>(t.tm_sec);
  out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

bool ValidDate(const SYSTEMTIME &t) {
  return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
         t.wDay <= DaysInMonth(t.wYear, t.wMonth);
}

bool ValidTime(const SYSTEMTIME &t) {
  return t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

int DayOfWeek(const SYSTEMTIME &t) {
  int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

void Number(std::wstring &out, unsigned value, unsigned digits) {
  std::wstring text = std::to_wstring(value);
  if (text.size() < digits) text.insert(0, digits - text.size(), L'0');
  out += text;
}

// Expands a picture. In a date picture d, M, y and g are fields; in a time
// picture h, H, m, s and t are. Text in single quotes is literal ('' is a
// quote); every other character is copied.
std::wstring Expand(const SYSTEMTIME &t, const WCHAR *picture, bool date) {
  std::wstring out;
  for (const WCHAR *p = picture; *p;) {
    WCHAR c = *p;
    if (c == L'\'') {
      ++p;
      while (*p) {
        if (*p == L'\'') {
          if (p[1] == L'\'') {
            out += L'\'';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        out += *p++;
      }
      continue;
    }
    bool field = date ? (c == L'd' || c == L'M' || c == L'y' || c == L'g')
                      : (c == L'h' || c == L'H' || c == L'm' || c == L's' || c == L't');
    if (!field) {
      out += c;
      ++p;
      continue;
    }
    unsigned run = 0;
    while (p[run] == c) ++run;
    p += run;
    switch (c) {
      case L'd':
        if (run <= 2)
          Number(out, t.wDay, run);
        else {
          const WCHAR *name = kDayNames[DayOfWeek(t)];
          out += run == 3 ? std::wstring(name, 3) : std::wstring(name);
        }
        break;
      case L'M':
        if (run <= 2)
          Number(out, t.wMonth, run);
        else {
          const WCHAR *name = kMonthNames[t.wMonth - 1];
          out += run == 3 ? std::wstring(name, 3) : std::wstring(name);
        }
        break;
      case L'y':
        if (run <= 2)
          Number(out, t.wYear % 100, run);
        else
          Number(out, t.wYear, run >= 5 ? 5 : 4);
        break;
      case L'g':
        out += L"A.D.";
        break;
      case L'h':
        Number(out, t.wHour % 12 == 0 ? 12 : t.wHour % 12, run >= 2 ? 2 : 1);
        break;
      case L'H':
        Number(out, t.wHour, run >= 2 ? 2 : 1);
        break;
      case L'm':
        Number(out, t.wMinute, run >= 2 ? 2 : 1);
        break;
      case L's':
        Number(out, t.wSecond, run >= 2 ? 2 : 1);
        break;
      case L't':
        out += t.wHour < 12 ? (run >= 2 ? L"AM" : L"A") : (run >= 2 ? L"PM" : L"P");
        break;
    }
  }
  return out;
}

int Deliver(const std::wstring &text, LPWSTR out, int outChars) {
  int needed = static_cast<int>(text.size()) + 1;
  if (outChars == 0) return needed;
  if (!out || outChars < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(out, text.c_str(), text.size() + 1);
  return needed;
}

bool KnownLocale(LCID locale) {
  return locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == 0 ||
         (locale & 0x3FF) == 0x09;  // English
}

}  // namespace

namespace host {

FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  int64_t ticks = (seconds + kSecondsFrom1601To1970) * kTicksPerSecond + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

}  // namespace host

void GetLocalTime(LPSYSTEMTIME systemTime) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  ::localtime_r(&now.tv_sec, &local);
  FromTm(local, now.tv_nsec, systemTime);
}

void GetSystemTime(LPSYSTEMTIME systemTime) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc;
  ::gmtime_r(&now.tv_sec, &utc);
  FromTm(utc, now.tv_nsec, systemTime);
}

BOOL FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime) {
  if (!fileTime || !systemTime || fileTime->dwHighDateTime > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks =
      (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  int64_t seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t secondOfDay = seconds - days * 86400;
  int year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  systemTime->wYear = static_cast<WORD>(year);
  systemTime->wMonth = static_cast<WORD>(month);
  systemTime->wDay = static_cast<WORD>(day);
  systemTime->wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);
  systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
  systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
  systemTime->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime) {
  if (!systemTime || !fileTime || !ValidDate(*systemTime) || !ValidTime(*systemTime)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = DaysFromCivil(systemTime->wYear, systemTime->wMonth, systemTime->wDay);
  int64_t seconds =
      days * 86400 + systemTime->wHour * 3600 + systemTime->wMinute * 60 + systemTime->wSecond;
  *fileTime = host::FileTimeFromUnix(seconds, systemTime->wMilliseconds * 1000000L);
  return TRUE;
}

namespace {

// The common part of GetDateFormatW and GetTimeFormatW: the current local
// time when none is given, the checks, and the expansion of the picture.
int FormatPicture(LCID locale, const SYSTEMTIME *time, LPCWSTR picture, bool date, LPWSTR out,
                  int outChars) {
  SYSTEMTIME now;
  if (!time) {
    GetLocalTime(&now);
    time = &now;
  }
  if (!KnownLocale(locale) || outChars < 0 || !(date ? ValidDate(*time) : ValidTime(*time))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const WCHAR *fallback = date ? L"dd/MM/yyyy" : L"HH:mm:ss";
  return Deliver(Expand(*time, picture ? picture : fallback, date), out, outChars);
}

}  // namespace

int GetDateFormatW(LCID locale, DWORD /*flags*/, const SYSTEMTIME *date, LPCWSTR picture,
                   LPWSTR out, int outChars) {
  return FormatPicture(locale, date, picture, true, out, outChars);
}

int GetTimeFormatW(LCID locale, DWORD /*flags*/, const SYSTEMTIME *time, LPCWSTR picture,
                   LPWSTR out, int outChars) {
  return FormatPicture(locale, time, picture, false, out, outChars);
}
