// snapshot.h - reading tovik snapshot files line by line.
//
// A snapshot holds up to three sections, always in this order, each of them
// optional:
//   registry     an empty line before each key header [HKEY_ROOT\path] (the
//                root itself is [HKEY_ROOT\]), followed by its value lines
//                "name"=dword:XXXXXXXX, "name"="string", "name"=hex(N):xx,..
//   file system  a header [path] per directory ([] for the root, [\a\b]
//                below it), followed by one line per file:
//                dd/MM/yyyy HH:mm, " R " or three spaces, the size right-
//                aligned in ten places and a space, optionally eight hex
//                digits of CRC and a space, then the name
//   databases    an empty line and [Databases], then one line per object:
//                B time size(12) records(6) name, F time size(12) name,
//                D name
// Lines end CR LF as tovik writes them; LF alone is accepted too.
//
// The parser classifies each line by its first characters and the section
// it stands in, checks its layout, and hands the pieces to a sink. Every
// piece is a view into the line, valid only during the call.
#ifndef TOVIK_DIFF_SNAPSHOT_H
#define TOVIK_DIFF_SNAPSHOT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tovik_diff {

enum class Section { kNone, kRegistry, kFileSystem, kDatabases };

// Sections counted with kNone, so that a Section indexes a table of them.
constexpr int kSectionCount = static_cast<int>(Section::kDatabases) + 1;

// The registry roots a snapshot may name, in the order of this table.
constexpr int kRootCount = 4;
extern const char *const kRootNames[kRootCount];

struct KeyLine {
  std::string_view full;  // between the brackets: HKEY_ROOT\path
  int root;               // index into kRootNames
  std::string_view path;  // after the root and its backslash; empty for the root
};

struct ValueLine {
  std::string_view line;
  std::string_view name;  // between its quotes, still escaped
  std::string_view data;  // after the '=': dword:..., "...", hex(N):...
};

struct FileLine {
  std::string_view line;
  std::string_view time;  // dd/MM/yyyy HH:mm (other words where it was unknown)
  bool rom;
  uint64_t size;
  bool hasCrc;
  uint32_t crc;
  std::string_view name;
};

struct DatabaseLine {
  std::string_view line;
  char kind;              // 'B' database, 'F' file, 'D' directory
  std::string_view time;  // empty for 'D'
  uint64_t size;          // 0 for 'D'
  uint64_t records;       // 0 for 'F' and 'D'
  std::string_view name;
};

// The type number of value data hex(N):..., in the unsigned form tovik
// writes or the signed one older snapshots hold; `after` is where its bytes
// begin. False for other data.
bool HexType(std::string_view data, uint32_t &type, size_t &after);

// True when two value data say the same: the same text, or hex data whose
// type is written in the two forms.
bool SameValueData(std::string_view a, std::string_view b);

class SnapshotSink {
 public:
  virtual ~SnapshotSink() = default;
  virtual void OnKey(const KeyLine &key) = 0;
  virtual void OnValue(const ValueLine &value) = 0;
  virtual void OnDirectory(std::string_view path) = 0;
  virtual void OnFile(const FileLine &file) = 0;
  virtual void OnDatabase(const DatabaseLine &object) = 0;
  // Called when a section is left: at the first line of a later section, or
  // at the end of the snapshot.
  virtual void OnSectionEnd(Section section) = 0;
};

// Whether the file lines carry the CRC column. A snapshot either has it on
// every file line or on none; the first file line decides, and a later line
// without it shows that the first one was a name that merely looked like a
// CRC (the parser then asks to start again with the column taken as absent).
enum class CrcColumn { kUnknown, kPresent, kAbsent };

class SnapshotParser {
 public:
  enum Result { kOk, kError, kRestart };

  SnapshotParser(SnapshotSink &sink, bool crcAbsent);

  // One line without its line end (LF, or CR LF).
  Result Line(std::string_view line);
  // After the last line: `lineEnded` tells whether the last line of a
  // non-empty file ended with a line feed (tovik ends every line).
  Result Finish(bool lineEnded);

  const std::string &error() const { return error_; }
  CrcColumn crc() const { return crc_; }
  bool has(Section section) const { return present_[static_cast<int>(section)]; }

 private:
  Result Fail(std::string message);
  Result Header(std::string_view line);
  Result Value(std::string_view line);
  Result File(std::string_view line);
  Result Database(std::string_view line);
  void Enter(Section section);

  SnapshotSink &sink_;
  bool crcAbsent_;
  CrcColumn crc_ = CrcColumn::kUnknown;
  Section section_ = Section::kNone;
  bool inKey_ = false;        // a key header has been read in this section
  bool inDirectory_ = false;  // a directory header has been read
  bool present_[kSectionCount] = {};
  std::string error_;
};

// Reads a file's lines in large blocks. Lines may be of any length.
class LineReader {
 public:
  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader &) = delete;
  LineReader &operator=(const LineReader &) = delete;

  // Opens `path`; on failure returns false with a message in `error`.
  bool Open(const std::string &path, std::string &error);
  // Reads the lines of a text held in memory instead (which must outlive
  // the reader).
  void OpenText(std::string_view text) { text_ = text, inMemory_ = true; }
  // The next line without its line end; false at the end or on a read
  // error (see failed()).
  bool Next(std::string_view &line);
  bool failed() const { return failed_; }
  const std::string &error() const { return error_; }
  // After the end: whether the last line ended with a line feed (true for
  // an empty file).
  bool lineEnded() const { return lineEnded_; }
  uint64_t lineNumber() const { return number_; }

 private:
  bool Fill();

  std::FILE *file_ = nullptr;
  std::string buffer_;
  size_t begin_ = 0;  // start of the unread text in buffer_
  size_t end_ = 0;    // end of the valid text in buffer_
  bool eof_ = false;
  bool failed_ = false;
  bool lineEnded_ = true;
  uint64_t number_ = 0;
  std::string error_;
  bool inMemory_ = false;
  std::string_view text_;
  size_t textPos_ = 0;
};

// Reads a whole file into `text`; on failure returns false with a message.
bool ReadWholeFile(const std::string &path, std::string &text, std::string &error);

// Runs the parser over a text held in memory, restarting it with the CRC
// column absent when it asks to. `reset` is called before a restart so the
// sink can forget what it was given. Returns true, or false with
// "line N: message" in `error`.
template <class Reset>
bool ParseText(std::string_view text, SnapshotSink &sink, Reset reset, CrcColumn &crc,
               bool (&present)[kSectionCount], std::string &error);

// Splits off the next line of `text` starting at `pos`; CR before the LF is
// dropped. Returns false when `pos` is at the end.
inline bool NextLine(std::string_view text, size_t &pos, std::string_view &line, bool &ended) {
  if (pos >= text.size()) return false;
  size_t lf = text.find('\n', pos);
  size_t stop = lf == std::string_view::npos ? text.size() : lf;
  line = text.substr(pos, stop - pos);
  ended = lf != std::string_view::npos;
  pos = ended ? lf + 1 : text.size();
  if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

template <class Reset>
bool ParseText(std::string_view text, SnapshotSink &sink, Reset reset, CrcColumn &crc,
               bool (&present)[kSectionCount], std::string &error) {
  for (bool crcAbsent = false;; crcAbsent = true) {
    SnapshotParser parser(sink, crcAbsent);
    size_t pos = 0;
    uint64_t number = 0;
    bool ended = true;
    std::string_view line;
    SnapshotParser::Result result = SnapshotParser::kOk;
    while (result == SnapshotParser::kOk && NextLine(text, pos, line, ended)) {
      ++number;
      // A last line without its line end was cut short: say so rather than
      // what is wrong with its remains.
      result = ended ? parser.Line(line) : parser.Finish(false);
    }
    if (result == SnapshotParser::kOk) {
      result = parser.Finish(ended);
      if (result == SnapshotParser::kError) number = number ? number : 1;
    }
    if (result == SnapshotParser::kRestart && !crcAbsent) {
      reset();
      continue;
    }
    if (result != SnapshotParser::kOk) {
      error = "line " + std::to_string(number) + ": " + parser.error();
      return false;
    }
    crc = parser.crc();
    for (int i = 0; i < kSectionCount; ++i) present[i] = parser.has(static_cast<Section>(i));
    return true;
  }
}

}  // namespace tovik_diff

#endif  // TOVIK_DIFF_SNAPSHOT_H
