// report.h - what the comparison hands to a report: the summary counted in
// the first pass, the removed keys and directories with the size of their
// subtrees, and the calls of the second pass, one per difference in the
// order met. Each report is a file of its own: text_report.cpp,
// json_report.cpp and html_report.cpp.
#ifndef TOVIK_DIFF_REPORT_H
#define TOVIK_DIFF_REPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diff.h"
#include "snapshot.h"

namespace tovik_diff {

constexpr uint32_t kNone = UINT32_MAX;

// A key and a directory of the old snapshot, as indexed there.
struct Key {
  KeyLine line;
  uint32_t firstValue, endValue;
  uint32_t parent = kNone;  // the key one level up, when the snapshot has it
  uint32_t top = kNone;     // removed: the highest removed key above it (or itself)
  uint64_t subtreeKeys = 0, subtreeValues = 0;  // for the top of a removed subtree
  bool matched = false;
};

struct Directory {
  std::string_view path;
  uint32_t firstFile, endFile;
  uint32_t parent = kNone;
  uint32_t top = kNone;
  uint64_t subtreeDirectories = 0, subtreeFiles = 0, subtreeBytes = 0;
  bool matched = false;
};

struct Counts {
  uint64_t keysAdded = 0, keysRemoved = 0;
  uint64_t valuesAdded = 0, valuesRemoved = 0, valuesChanged = 0;
  uint64_t directoriesAdded = 0, directoriesRemoved = 0;
  uint64_t filesAdded = 0, filesRemoved = 0, filesChanged = 0;
  uint64_t objectsAdded = 0, objectsRemoved = 0, objectsChanged = 0;

  uint64_t Total() const {
    return keysAdded + keysRemoved + valuesAdded + valuesRemoved + valuesChanged +
           directoriesAdded + directoriesRemoved + filesAdded + filesRemoved + filesChanged +
           objectsAdded + objectsRemoved + objectsChanged;
  }
};

struct Summary {
  Counts counts;
  bool inOld[kSectionCount] = {};
  bool inNew[kSectionCount] = {};
  bool compared[kSectionCount] = {};
  CrcColumn oldCrc = CrcColumn::kUnknown, newCrc = CrcColumn::kUnknown;
  bool crcCompared = false;
  bool crcNote = false;  // both list files, only one with CRCs
  std::string oldPath, newPath;

  bool SectionNote(Section s) const {
    int i = static_cast<int>(s);
    return inOld[i] != inNew[i];
  }
  // Something to report: a difference, or something that could not be
  // compared. Snapshots are only called equal when everything was compared.
  bool Differs() const {
    return counts.Total() > 0 || crcNote || SectionNote(Section::kRegistry) ||
           SectionNote(Section::kFileSystem) || SectionNote(Section::kDatabases);
  }
};

// What changed in a file or a database object.
enum : unsigned { kSize = 1, kCrc = 2, kTime = 4, kRom = 8, kRecords = 16 };

class Report {
 public:
  explicit Report(Output &out) : out_(out) {}
  virtual ~Report() = default;

  virtual void Begin(const Summary &summary) = 0;
  virtual void KeyAdded(const KeyLine &key) = 0;
  virtual void KeyRemoved(const Key &key) = 0;
  virtual void ValueAdded(const KeyLine &key, bool keyAdded, const ValueLine &value) = 0;
  virtual void ValueRemoved(const KeyLine &key, const ValueLine &value) = 0;
  virtual void ValueChanged(const KeyLine &key, const ValueLine &before,
                            const ValueLine &after) = 0;
  virtual void DirectoryAdded(std::string_view path) = 0;
  virtual void DirectoryRemoved(const Directory &directory) = 0;
  virtual void FileAdded(std::string_view directory, bool directoryAdded, const FileLine &file) = 0;
  virtual void FileRemoved(std::string_view directory, const FileLine &file) = 0;
  virtual void FileChanged(std::string_view directory, const FileLine &before,
                           const FileLine &after, unsigned what) = 0;
  virtual void ObjectAdded(const DatabaseLine &object) = 0;
  virtual void ObjectRemoved(const DatabaseLine &object) = 0;
  virtual void ObjectChanged(const DatabaseLine &before, const DatabaseLine &after,
                             unsigned what) = 0;
  virtual void End() = 0;

  // Writes what is buffered; false when a write failed at any time.
  bool Flush() {
    if (!buffer_.empty() && !out_.Write(buffer_.data(), buffer_.size())) failed_ = true;
    buffer_.clear();
    return !failed_;
  }

 protected:
  void Put(std::string_view text) {
    buffer_.append(text.data(), text.size());
    if (buffer_.size() >= (1 << 16)) Flush();
  }
  void Put(char c) { buffer_.push_back(c); }
  void PutNumber(uint64_t n) { Put(std::to_string(n)); }

 private:
  Output &out_;
  std::string buffer_;
  bool failed_ = false;
};

inline std::string Plural(uint64_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Appends the character of the Windows-1252 byte `c` (the device's default
// code page; the five bytes it leaves undefined keep their Latin-1 meaning,
// as Windows' own conversion does) to `out` as UTF-8.
void AppendUtf8From1252(std::string &out, unsigned char c);

// The reports: readable text (text_report.cpp), JSON (json_report.cpp) and
// the self-contained HTML page (html_report.cpp).
std::unique_ptr<Report> NewTextReport(Output &out);
std::unique_ptr<Report> NewJsonReport(Output &out);
std::unique_ptr<Report> NewHtmlReport(Output &out);

}  // namespace tovik_diff

#endif  // TOVIK_DIFF_REPORT_H
