// crt.cpp - the device C runtime's streams: fopen and _wfopen on device
// paths, fread, fwrite and fclose on what they return, and fgetws in the
// device's code page.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "internal.h"

// A stream on an open regular file. Reads go through a read-ahead buffer of
// up to 128 KiB, so a file read in the listing's 16 KiB blocks costs the
// host one call per 128 KiB; the buffer is no larger than the file needs
// (its size at the open, plus one byte to see the end), and a read of at
// least the buffer's size with nothing buffered goes straight into the
// caller's memory, so a small file costs one read call. Writes go straight
// to the file, so nothing is left to flush at the close.
//
// A regular file returns fewer bytes than asked only at its end, so after a
// short read the stream answers "end" without asking the host again.
struct ce_FILE {
  int fd;
  bool atEnd;
  size_t next;      // first unread byte of buffer
  size_t filled;    // bytes in buffer
  size_t capacity;  // size of buffer
  std::unique_ptr<unsigned char[]> buffer;
  dev_t device;  // the host file, for the writes a file handle holds back
  ino_t inode;
};

namespace {

constexpr size_t kMinReadAhead = 4096;
constexpr size_t kMaxReadAhead = 128 * 1024;

// One read of the file, retried when a signal interrupts it. Marks the end
// of the file, or an error (which ends reading like the end).
size_t ReadOnce(ce_FILE *stream, unsigned char *into, size_t size) {
  if (stream->atEnd || size == 0) return 0;
  host::SettleWritesTo(stream->device, stream->inode);
  ssize_t count;
  do {
    count = ::read(stream->fd, into, size);
  } while (count < 0 && errno == EINTR);
  if (count < 0) count = 0;
  if (static_cast<size_t>(count) < size) stream->atEnd = true;
  return static_cast<size_t>(count);
}

// Reads the next piece of the file into the emptied buffer; false when
// nothing more came.
bool Refill(ce_FILE *stream) {
  stream->next = 0;
  stream->filled = ReadOnce(stream, stream->buffer.get(), stream->capacity);
  return stream->filled != 0;
}

// The next byte of the stream, or EOF.
int NextByte(ce_FILE *stream) {
  if (stream->next == stream->filled && !Refill(stream)) return EOF;
  return stream->buffer.get()[stream->next++];
}

// Opens a device path with a C mode string ("r", "wb", "a+", ...). Only
// regular files are opened: a directory, FIFO, socket or device fails as it
// would on the device, and reading one can never block the program.
ce_FILE *OpenDeviceFile(const WCHAR *devicePath, const std::string &mode) {
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToExactRootPath(devicePath, &path, &error)) {
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
  // A file a search has just seen as a regular one is opened at once and
  // checked after. The path as written is looked at first; only when
  // nothing is there is it matched without regard to case.
  bool seen = !(flags & O_CREAT) && host::SearchJustSawFile(path);
  struct stat before;
  bool exists = seen || host::StatInRoot(path, true, &before);
  if (!exists) {
    if (!host::DeviceToRootPath(devicePath, &path, &error)) {
      SetLastError(error);
      errno = ENOENT;
      return nullptr;
    }
    exists = host::StatInRoot(path, true, &before);
  }
  if (exists && !seen && !S_ISREG(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    errno = EACCES;
    return nullptr;
  }
  if (exists && !seen) host::SettleWritesTo(before.st_dev, before.st_ino);
  int fd = host::OpenInRoot(path, flags, 0666);
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
  if (seen && host::SettleWritesTo(info.st_dev, info.st_ino)) ::fstat(fd, &info);
  // O_NONBLOCK stays set: it changes nothing for a regular file, and
  // clearing it would cost a call for every file the listing checksums.
  // The device's 't' and 'b' make no difference: no line ends are changed.
  size_t capacity = kMaxReadAhead;
  if (info.st_size < static_cast<off_t>(kMaxReadAhead))
    capacity = std::max(kMinReadAhead, static_cast<size_t>(info.st_size) + 1);
  auto *stream = new (std::nothrow) ce_FILE;
  if (stream) stream->buffer.reset(new (std::nothrow) unsigned char[capacity]);
  if (!stream || !stream->buffer) {
    delete stream;
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    errno = ENOMEM;
    return nullptr;
  }
  stream->fd = fd;
  stream->atEnd = false;
  stream->next = stream->filled = 0;
  stream->capacity = capacity;
  stream->device = info.st_dev;
  stream->inode = info.st_ino;
  return stream;
}

}  // namespace

ce_FILE *ce_fopen(const char *devicePath, const char *mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  return OpenDeviceFile(host::AnsiToWide(devicePath, std::strlen(devicePath)).c_str(), mode);
}

ce_FILE *_wfopen(LPCWSTR devicePath, LPCWSTR mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string narrowMode;
  for (const WCHAR *p = mode; *p; ++p) narrowMode += static_cast<char>(*p & 0x7F);
  return OpenDeviceFile(devicePath, narrowMode);
}

size_t ce_fread(void *data, size_t size, size_t count, ce_FILE *stream) {
  if (!data || !stream || size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) count = SIZE_MAX / size;
  auto *into = static_cast<unsigned char *>(data);
  size_t wanted = size * count;
  size_t done = 0;
  while (done < wanted) {
    if (stream->next < stream->filled) {
      size_t take = std::min(stream->filled - stream->next, wanted - done);
      std::memcpy(into + done, stream->buffer.get() + stream->next, take);
      stream->next += take;
      done += take;
    } else if (wanted - done >= stream->capacity) {
      size_t got = ReadOnce(stream, into + done, wanted - done);
      if (got == 0) break;
      done += got;
    } else if (!Refill(stream)) {
      break;
    }
  }
  return done / size;
}

size_t ce_fwrite(const void *data, size_t size, size_t count, ce_FILE *stream) {
  if (!data || !stream || size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) count = SIZE_MAX / size;
  // Bytes read ahead into the buffer are given back first, so the write
  // lands where the reader stands.
  if (stream->next < stream->filled)
    ::lseek(stream->fd, -static_cast<off_t>(stream->filled - stream->next), SEEK_CUR);
  stream->next = stream->filled = 0;
  stream->atEnd = false;
  host::SettleWritesTo(stream->device, stream->inode);
  const auto *from = static_cast<const unsigned char *>(data);
  size_t wanted = size * count;
  size_t done = 0;
  while (done < wanted) {
    ssize_t written = ::write(stream->fd, from + done, wanted - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  return done / size;
}

int ce_fclose(ce_FILE *stream) {
  if (!stream) return EOF;
  int result = ::close(stream->fd);
  delete stream;
  return result == 0 ? 0 : EOF;
}

// Reads one line of narrow text in the device's code page into `line`: at
// most maxChars - 1 characters, up to and including a line feed, then a
// terminator. Returns null at the end of the stream when nothing was read.
WCHAR *ce_fgetws(WCHAR *line, int maxChars, ce_FILE *stream) {
  if (!line || maxChars <= 0 || !stream) return nullptr;
  std::string bytes;
  int c = 0;
  while (static_cast<int>(bytes.size()) < maxChars - 1 && (c = NextByte(stream)) != EOF) {
    bytes += static_cast<char>(c);
    if (c == '\n') break;
  }
  if (bytes.empty()) return nullptr;
  std::wstring wide = host::AnsiToWide(bytes.data(), bytes.size());
  std::wmemcpy(line, wide.data(), wide.size());
  line[wide.size()] = 0;
  return line;
}
