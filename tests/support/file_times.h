// file_times.h - what the host says about a file's times, worked out
// independently of the platform layer, for tests of file listings.
#ifndef TOVIK_FILE_TIMES_H
#define TOVIK_FILE_TIMES_H

#include <cstdint>
#include <string>

namespace testing_device {

// The file's creation time as seconds and nanoseconds since 1970 (UTC):
// its birth time where the file system keeps one, else its modification
// time. Symbolic links are followed.
struct HostTime {
  int64_t seconds = 0;
  long nanoseconds = 0;
};
HostTime CreationTime(const std::string &hostPath);

// The creation time as a listing shows it: "dd/MM/yyyy HH:mm" in UTC.
std::string ListingDateTime(const std::string &hostPath);

}  // namespace testing_device

#endif  // TOVIK_FILE_TIMES_H
