// file_times.cpp - host file times for tests of file listings.
#include "file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace testing_device {

HostTime CreationTime(const std::string &hostPath) {
  HostTime t;
  struct statx sx;
  if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return t;
  bool birth = (sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec || sx.stx_btime.tv_nsec);
  const struct statx_timestamp &chosen = birth ? sx.stx_btime : sx.stx_mtime;
  t.seconds = chosen.tv_sec;
  t.nanoseconds = static_cast<long>(chosen.tv_nsec);
  return t;
}

std::string ListingDateTime(const std::string &hostPath) {
  time_t seconds = static_cast<time_t>(CreationTime(hostPath).seconds);
  struct tm utc;
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%d/%m/%Y %H:%M", &utc);
  return text;
}

}  // namespace testing_device
