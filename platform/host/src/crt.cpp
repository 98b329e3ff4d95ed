// crt.cpp - the device C runtime's streams: fopen and _wfopen on device
// paths, fgetws in the device's code page. fread, fwrite and fclose are the
// host's own, on the FILE that these return.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "internal.h"

namespace {

// Opens a device path with a C mode string ("r", "wb", "a+", ...). Only
// regular files are opened: a directory, FIFO, socket or device fails as it
// would on the device, and reading one can never block the program.
FILE *OpenDeviceFile(const WCHAR *devicePath, const std::string &mode) {
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToExactHostPath(devicePath, &path, &error)) {
    SetLastError(error);
    errno = ENOENT;
    return nullptr;
  }
  if (mode.empty()) {
    errno = EINVAL;
    return nullptr;
  }
  bool plus = mode.find('+') != std::string::npos;
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode[0]) {
    case 'r':
      flags |= plus ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      errno = EINVAL;
      return nullptr;
  }
  // Something that exists but is not a regular file (a FIFO, socket or
  // device) is refused before it is opened, since even opening one can have
  // effects on the host; the check after opening covers a swap in between.
  // The path as written is looked at first; only when nothing is there is
  // it matched without regard to case.
  struct stat before;
  bool exists = ::stat(path.c_str(), &before) == 0;
  if (!exists) {
    if (!host::DeviceToHostPath(devicePath, &path, &error)) {
      SetLastError(error);
      errno = ENOENT;
      return nullptr;
    }
    exists = ::stat(path.c_str(), &before) == 0;
  }
  if (exists && !S_ISREG(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    errno = EACCES;
    return nullptr;
  }
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    SetLastError(host::ErrorFromErrno(errno));
    return nullptr;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    errno = EACCES;
    return nullptr;
  }
  // The status flags are the ones opened with (F_SETFL leaves the access
  // mode and the creation flags alone), so they need not be read back.
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  // The host stream takes the mode without the device's 't'.
  std::string hostMode;
  for (char c : mode)
    if (c == 'r' || c == 'w' || c == 'a' || c == '+' || c == 'b') hostMode += c;
  FILE *stream = ::fdopen(fd, hostMode.c_str());
  if (!stream) ::close(fd);
  return stream;
}

}  // namespace

FILE *ce_fopen(const char *devicePath, const char *mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  return OpenDeviceFile(host::AnsiToWide(devicePath, std::strlen(devicePath)).c_str(), mode);
}

FILE *_wfopen(LPCWSTR devicePath, LPCWSTR mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string narrowMode;
  for (const WCHAR *p = mode; *p; ++p) narrowMode += static_cast<char>(*p & 0x7F);
  return OpenDeviceFile(devicePath, narrowMode);
}

// Reads one line of narrow text in the device's code page into `line`: at
// most maxChars - 1 characters, up to and including a line feed, then a
// terminator. Returns null at the end of the stream when nothing was read.
WCHAR *ce_fgetws(WCHAR *line, int maxChars, FILE *stream) {
  if (!line || maxChars <= 0 || !stream) return nullptr;
  std::string bytes;
  int c = 0;
  while (static_cast<int>(bytes.size()) < maxChars - 1 && (c = std::fgetc(stream)) != EOF) {
    bytes += static_cast<char>(c);
    if (c == '\n') break;
  }
  if (bytes.empty()) return nullptr;
  std::wstring wide = host::AnsiToWide(bytes.data(), bytes.size());
  std::wmemcpy(line, wide.data(), wide.size());
  line[wide.size()] = 0;
  return line;
}
