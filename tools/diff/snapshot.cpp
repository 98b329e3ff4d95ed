// snapshot.cpp - the line parser and the file readers.
#include "snapshot.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tovik_diff {

const char *const kRootNames[kRootCount] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                            "HKEY_CLASSES_ROOT", "HKEY_USERS"};

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }
bool IsHex(char c) { return IsUpperHex(c) || (c >= 'a' && c <= 'f'); }

// The date and time of a listing line at `i`: "dd/MM/yyyy HH:mm" as a rule,
// but a time that cannot be formatted shows as dashes or as nothing at all,
// so the stamp is taken as two words without spaces (each possibly empty,
// each at most 20 characters) joined by one space. `i` ends after it.
bool ReadStamp(std::string_view s, size_t &i, std::string_view &stamp) {
  size_t start = i;
  for (int word = 0; word < 2; ++word) {
    if (word == 1) {
      if (i >= s.size() || s[i] != ' ') return false;
      ++i;
    }
    size_t begin = i;
    while (i < s.size() && s[i] != ' ') {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 0x20 || c == 0x7F || i - begin >= 20) return false;
      ++i;
    }
  }
  stamp = s.substr(start, i - start);
  return true;
}

// Reads a right-aligned number at `i`: any spaces, then digits, then exactly
// one space, which is consumed. A leading minus sign is taken as the signed
// 32-bit form that older snapshots printed for large sizes and turned back
// into the unsigned value it stood for.
bool ReadNumber(std::string_view s, size_t &i, uint64_t &value) {
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = i < s.size() && s[i] == '-';
  if (negative) ++i;
  size_t start = i;
  value = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    uint64_t digit = static_cast<uint64_t>(s[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (i == start || i >= s.size() || s[i] != ' ') return false;
  ++i;
  if (negative) {
    if (value == 0 || value > 0x80000000u) return false;
    value = 0x100000000u - value;
  }
  return true;
}

// Scans an escaped, quoted registry string starting at the quote at `i`.
// On success `i` is just past the closing quote. The escapes are \" \\ and
// \xNN.
bool ScanQuoted(std::string_view s, size_t &i) {
  if (i >= s.size() || s[i] != '"') return false;
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      ++i;
      return true;
    }
    if (c != '\\') continue;
    if (i + 1 >= s.size()) return false;
    char e = s[i + 1];
    if (e == '"' || e == '\\') {
      ++i;
    } else if (e == 'x' && i + 3 < s.size() && IsHex(s[i + 2]) && IsHex(s[i + 3])) {
      i += 3;
    } else {
      return false;
    }
  }
  return false;
}

}  // namespace

// The type of hex(N): data. Older snapshots wrote types above 0x7FFFFFFF as
// negative numbers; both forms stand for the same 32-bit type.
bool HexType(std::string_view d, uint32_t &type, size_t &after) {
  if (d.compare(0, 4, "hex(") != 0) return false;
  size_t i = 4;
  bool negative = i < d.size() && d[i] == '-';
  if (negative) ++i;
  size_t start = i;
  uint64_t value = 0;
  while (i < d.size() && IsDigit(d[i]) && i - start < 10)
    value = value * 10 + static_cast<uint64_t>(d[i++] - '0');
  if (i == start || d.compare(i, 2, "):") != 0) return false;
  if (negative ? value == 0 || value > 0x80000000u : value > 0xFFFFFFFFu) return false;
  type = static_cast<uint32_t>(negative ? 0x100000000u - value : value);
  after = i + 2;
  return true;
}

bool SameValueData(std::string_view a, std::string_view b) {
  if (a == b) return true;
  uint32_t typeA = 0, typeB = 0;
  size_t dataA = 0, dataB = 0;
  return HexType(a, typeA, dataA) && HexType(b, typeB, dataB) && typeA == typeB &&
         a.substr(dataA) == b.substr(dataB);
}

namespace {

bool IsValueData(std::string_view d) {
  if (d.compare(0, 6, "dword:") == 0) {
    if (d.size() != 14) return false;
    for (size_t i = 6; i < 14; ++i)
      if (!IsHex(d[i])) return false;
    return true;
  }
  if (!d.empty() && d[0] == '"') {
    size_t i = 0;
    return ScanQuoted(d, i) && i == d.size();
  }
  uint32_t type = 0;
  size_t i = 0;
  if (HexType(d, type, i)) {
    if (i == d.size()) return true;  // no data bytes
    for (;;) {
      if (i + 2 > d.size() || !IsHex(d[i]) || !IsHex(d[i + 1])) return false;
      i += 2;
      if (i == d.size()) return true;
      if (d[i] != ',') return false;
      ++i;
    }
  }
  return false;
}

const char *SectionName(Section s) {
  switch (s) {
    case Section::kRegistry:
      return "registry";
    case Section::kFileSystem:
      return "file system";
    case Section::kDatabases:
      return "databases";
    default:
      return "";
  }
}

}  // namespace

SnapshotParser::SnapshotParser(SnapshotSink &sink, bool crcAbsent)
    : sink_(sink), crcAbsent_(crcAbsent) {}

SnapshotParser::Result SnapshotParser::Fail(std::string message) {
  error_ = std::move(message);
  return kError;
}

void SnapshotParser::Enter(Section section) {
  if (section_ == section) return;
  if (section_ != Section::kNone) sink_.OnSectionEnd(section_);
  section_ = section;
  present_[static_cast<int>(section)] = true;
}

SnapshotParser::Result SnapshotParser::Line(std::string_view line) {
  if (line.empty()) return kOk;
  switch (line[0]) {
    case '[':
      return Header(line);
    case '"':
      return Value(line);
    default:
      break;
  }
  if (section_ == Section::kFileSystem) return File(line);
  if (section_ == Section::kDatabases && line.size() >= 2 && line[1] == ' ' &&
      (line[0] == 'B' || line[0] == 'F' || line[0] == 'D'))
    return Database(line);
  if (section_ == Section::kFileSystem) return Fail("malformed file line");
  if (section_ == Section::kDatabases) return Fail("malformed database line");
  return Fail("not a line of a tovik snapshot");
}

// Headers are told apart by their start: registry keys always begin with a
// root name (HKEY_...), directories with a backslash (or are [] for the
// root), and the databases section has the one header [Databases]. The
// sections come in a fixed order, so a header of an earlier section after a
// later one is an error, not a new section.
SnapshotParser::Result SnapshotParser::Header(std::string_view line) {
  if (line.size() < 2 || line.back() != ']') return Fail("header line without its closing bracket");
  std::string_view inner = line.substr(1, line.size() - 2);
  if (inner == "Databases") {
    if (section_ == Section::kDatabases) return Fail("second [Databases] header");
    Enter(Section::kDatabases);
    return kOk;
  }
  if (inner.compare(0, 5, "HKEY_") == 0) {
    if (section_ > Section::kRegistry)
      return Fail(std::string("registry key after the ") + SectionName(section_) + " section");
    size_t slash = inner.find('\\');
    if (slash == std::string_view::npos)
      return Fail("registry key without a backslash after its root");
    std::string_view rootName = inner.substr(0, slash);
    int root = -1;
    for (int i = 0; i < kRootCount; ++i)
      if (rootName == kRootNames[i]) root = i;
    if (root < 0) return Fail("unknown registry root " + std::string(rootName));
    Enter(Section::kRegistry);
    inKey_ = true;
    sink_.OnKey(KeyLine{inner, root, inner.substr(slash + 1)});
    return kOk;
  }
  if (inner.empty() || inner[0] == '\\') {
    if (section_ > Section::kFileSystem)
      return Fail("directory header after the databases section");
    Enter(Section::kFileSystem);
    inDirectory_ = true;
    sink_.OnDirectory(inner);
    return kOk;
  }
  return Fail("unknown header");
}

SnapshotParser::Result SnapshotParser::Value(std::string_view line) {
  if (section_ != Section::kRegistry || !inKey_)
    return Fail("registry value outside the registry section");
  size_t i = 0;
  if (!ScanQuoted(line, i)) return Fail("registry value name without its closing quote");
  std::string_view name = line.substr(1, i - 2);
  if (i >= line.size() || line[i] != '=') return Fail("registry value without '=' after its name");
  std::string_view data = line.substr(i + 1);
  if (!IsValueData(data)) return Fail("malformed registry value data");
  sink_.OnValue(ValueLine{line, name, data});
  return kOk;
}

SnapshotParser::Result SnapshotParser::File(std::string_view line) {
  if (!inDirectory_) return Fail("file line before any directory header");
  FileLine f{};
  f.line = line;
  size_t i = 0;
  if (!ReadStamp(line, i, f.time) || line.size() - i < 3) return Fail("malformed file line");
  std::string_view marker = line.substr(i, 3);
  if (marker == " R ") {
    f.rom = true;
  } else if (marker != "   ") {
    return Fail("malformed ROM marker in file line");
  }
  i += 3;
  if (!ReadNumber(line, i, f.size)) return Fail("malformed size in file line");
  std::string_view rest = line.substr(i);
  bool looksCrc = rest.size() > 9 && rest[8] == ' ';
  for (size_t k = 0; looksCrc && k < 8; ++k) looksCrc = IsUpperHex(rest[k]);
  if (crc_ == CrcColumn::kUnknown)
    crc_ = looksCrc && !crcAbsent_ ? CrcColumn::kPresent : CrcColumn::kAbsent;
  if (crc_ == CrcColumn::kPresent) {
    if (!looksCrc) return kRestart;
    f.hasCrc = true;
    for (size_t k = 0; k < 8; ++k)
      f.crc =
          f.crc << 4 | static_cast<uint32_t>(rest[k] <= '9' ? rest[k] - '0' : rest[k] - 'A' + 10);
    rest.remove_prefix(9);
  }
  if (rest.empty()) return Fail("file line without a name");
  f.name = rest;
  sink_.OnFile(f);
  return kOk;
}

SnapshotParser::Result SnapshotParser::Database(std::string_view line) {
  DatabaseLine d{};
  d.line = line;
  d.kind = line[0];
  size_t i = 2;
  if (d.kind != 'D') {
    if (!ReadStamp(line, i, d.time) || i >= line.size() || line[i] != ' ')
      return Fail("malformed time in database line");
    ++i;
    if (!ReadNumber(line, i, d.size)) return Fail("malformed size in database line");
    if (d.kind == 'B' && !ReadNumber(line, i, d.records))
      return Fail("malformed record count in database line");
  }
  d.name = line.substr(i);
  sink_.OnDatabase(d);
  return kOk;
}

SnapshotParser::Result SnapshotParser::Finish(bool lineEnded) {
  if (!lineEnded) return Fail("the file ends inside a line (truncated?)");
  if (section_ != Section::kNone) sink_.OnSectionEnd(section_);
  return kOk;
}

// ---------------------------------------------------------------------------
// Reading files
// ---------------------------------------------------------------------------

namespace {
constexpr size_t kBlock = 1 << 20;
}

LineReader::~LineReader() {
  if (file_) std::fclose(file_);
}

bool LineReader::Open(const std::string &path, std::string &error) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    error = std::strerror(errno);
    return false;
  }
  buffer_.resize(kBlock);
  return true;
}

// Moves the unread text to the front and reads another block after it,
// growing the buffer when one line fills it.
bool LineReader::Fill() {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    std::memmove(&buffer_[0], &buffer_[begin_], end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < kBlock / 2) buffer_.resize(buffer_.size() * 2);
  size_t got = std::fread(&buffer_[end_], 1, buffer_.size() - end_, file_);
  if (got == 0) {
    if (std::ferror(file_)) {
      failed_ = true;
      error_ = std::strerror(errno);
    }
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool LineReader::Next(std::string_view &line) {
  if (inMemory_) {
    bool ended = true;
    if (!NextLine(text_, textPos_, line, ended)) return false;
    lineEnded_ = ended;
    ++number_;
    return true;
  }
  size_t scanned = begin_;
  for (;;) {
    const char *start = buffer_.data();
    const void *lf = std::memchr(start + scanned, '\n', end_ - scanned);
    if (lf) {
      size_t stop = static_cast<const char *>(lf) - start;
      line = std::string_view(start + begin_, stop - begin_);
      begin_ = stop + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++number_;
      return true;
    }
    size_t offset = end_ - begin_;
    if (!Fill()) break;
    scanned = offset;  // after Fill the unread text starts at 0
  }
  if (failed_ || begin_ == end_) return false;
  line = std::string_view(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_;
  lineEnded_ = false;
  ++number_;
  return true;
}

bool ReadWholeFile(const std::string &path, std::string &text, std::string &error) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  // The size, when known, lets the text be read into one allocation of the
  // right length; the loop below copes with files that grow or lie.
  std::error_code ignored;
  uintmax_t expected = std::filesystem::file_size(path, ignored);
  text.clear();
  if (!ignored && expected < SIZE_MAX / 2) text.resize(static_cast<size_t>(expected) + 1);
  size_t used = 0;
  for (;;) {
    if (text.size() == used) text.resize(text.size() + std::max(kBlock, text.size()));
    size_t got = std::fread(&text[used], 1, text.size() - used, file);
    used += got;
    if (got == 0) break;
  }
  bool failed = std::ferror(file) != 0;
  int err = errno;
  std::fclose(file);
  text.resize(used);
  if (failed) {
    error = std::string("read error: ") + std::strerror(err);
    return false;
  }
  return true;
}

}  // namespace tovik_diff
