// devicefile.cpp - the one reader of the device folder's own files:
// registry.reg, databases.txt, rom.txt and device.ini.
//
// A file is opened with O_NONBLOCK, so that a FIFO without a writer (or a
// device node) put in a file's place cannot hold the run in open(), and
// then looked at through its descriptor: only a regular file is read. A
// link is not followed, since it could lead out of the device folder; like
// anything else that is not a regular file it is said once, when the file is first needed, and
// counts as absent.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "internal.h"

namespace host {

TextMark TakeByteOrderMark(std::string *bytes) {
  auto starts = [bytes](const char *mark, size_t size) {
    return bytes->size() >= size && bytes->compare(0, size, mark, size) == 0;
  };
  TextMark mark = TextMark::kNone;
  size_t size = 0;
  if (starts("\xEF\xBB\xBF", 3)) {
    mark = TextMark::kUtf8;
    size = 3;
  } else if (starts("\xFF\xFE", 2)) {
    mark = TextMark::kUtf16LE;
    size = 2;
  } else if (starts("\xFE\xFF", 2)) {
    mark = TextMark::kUtf16BE;
    size = 2;
  }
  bytes->erase(0, size);
  return mark;
}

bool ReadDeviceFile(const std::string &name, DeviceText *text) {
  text->name = name;
  text->mark = TextMark::kNone;
  text->bytes.clear();
  auto cannotRead = [&name](int error) {
    std::fprintf(stderr, "%s: cannot be read: %s\n", name.c_str(), std::strerror(error));
    return false;
  };
  std::string path = DeviceFolder() + "/" + name;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    if (errno != ENXIO && errno != ELOOP) return cannotRead(errno);
    // A FIFO without a writer, a socket, or a link: not a regular file.
    std::fprintf(stderr, "%s: not a regular file\n", name.c_str());
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    int error = errno;
    ::close(fd);
    return cannotRead(error);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    std::fprintf(stderr, "%s: not a regular file\n", name.c_str());
    return false;
  }
  // The size is a hint only: the file may change while it is read. The
  // bytes are read straight into the text, which grows when the file does.
  std::string &bytes = text->bytes;
  size_t filled = 0;
  bytes.resize(std::max<size_t>(info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0, 1) + 1);
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
    ssize_t n = ::read(fd, &bytes[filled], bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      bytes.clear();
      return cannotRead(error);
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  bytes.resize(filled);
  ::close(fd);
  text->mark = TakeByteOrderMark(&text->bytes);
  return true;
}

DeviceLines::DeviceLines(std::string_view bytes, Units units)
    : bytes_(bytes), units_(units), width_(units == kBytes ? 1 : 2) {
  // A last odd byte of UTF-16 text is no unit.
  if (width_ == 2) bytes_ = bytes_.substr(0, bytes_.size() & ~static_cast<size_t>(1));
}

unsigned DeviceLines::Unit(size_t at) const {
  unsigned a = static_cast<unsigned char>(bytes_[at]);
  if (width_ == 1) return a;
  unsigned b = static_cast<unsigned char>(bytes_[at + 1]);
  return units_ == kUtf16LE ? (b << 8 | a) : (a << 8 | b);
}

bool DeviceLines::Next(std::string_view *line) {
  if (next_ >= bytes_.size()) return false;
  size_t end = next_;
  unsigned unit = 0;
  while (end < bytes_.size() && (unit = Unit(end)) != '\n' && unit != '\r') end += width_;
  *line = bytes_.substr(next_, end - next_);
  next_ = end;
  if (next_ < bytes_.size() && unit == '\r') next_ += width_;
  if (next_ < bytes_.size() && Unit(next_) == '\n' && (unit == '\n' || next_ > end)) {
    // LF alone, or the LF of CR LF.
    next_ += width_;
  }
  ++number_;
  return true;
}

}  // namespace host
