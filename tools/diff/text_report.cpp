// text_report.cpp - the comparison as readable text, marked like a unified
// diff.
#include <memory>
#include <string>

#include "report.h"

namespace tovik_diff {
namespace {

// ---------------------------------------------------------------------------
// The readable report. Items are marked like a unified diff: '+' added,
// '-' removed, '~' changed; lines of a key or directory that itself stayed
// are shown under its header, marked with a space.
// ---------------------------------------------------------------------------
class TextReport : public Report {
 public:
  using Report::Report;

  void Begin(const Summary &s) override {
    if (!s.Differs()) return;
    Put("Summary: " + Plural(s.counts.Total(), "difference", "differences") + "\n");
    const Counts &c = s.counts;
    static const char *const kNames[kSectionCount] = {"", "Registry", "File system", "Databases"};
    for (int i = 1; i < kSectionCount; ++i) {
      if (!s.inOld[i] && !s.inNew[i]) continue;
      Put(std::string("  ") + kNames[i] + ": ");
      if (!s.compared[i]) {
        Put("not compared, only in " + (s.inOld[i] ? s.oldPath : s.newPath) + "\n");
        continue;
      }
      if (i == 1) {
        Put(Plural(c.keysAdded, "key", "keys") + " added, " + Plural(c.keysRemoved, "key", "keys") +
            " removed, " + Plural(c.valuesAdded, "value", "values") + " added, " +
            Plural(c.valuesRemoved, "value", "values") + " removed, " +
            Plural(c.valuesChanged, "value", "values") + " changed\n");
      } else if (i == 2) {
        Put(Plural(c.directoriesAdded, "directory", "directories") + " added, " +
            Plural(c.directoriesRemoved, "directory", "directories") + " removed, " +
            Plural(c.filesAdded, "file", "files") + " added, " +
            Plural(c.filesRemoved, "file", "files") + " removed, " +
            Plural(c.filesChanged, "file", "files") + " changed\n");
      } else {
        Put(Plural(c.objectsAdded, "object", "objects") + " added, " +
            Plural(c.objectsRemoved, "object", "objects") + " removed, " +
            Plural(c.objectsChanged, "object", "objects") + " changed\n");
      }
    }
    if (s.crcNote)
      Put("  CRCs: not compared, only " +
          (s.oldCrc == CrcColumn::kPresent ? s.oldPath : s.newPath) + " has them\n");
  }

  void KeyAdded(const KeyLine &key) override { HeaderAdded(Section::kRegistry, key.full); }
  void KeyRemoved(const Key &key) override {
    HeaderRemoved(Section::kRegistry, key.line.full,
                  Plural(key.subtreeKeys, "key", "keys") + ", " +
                      Plural(key.subtreeValues, "value", "values"));
  }
  void ValueAdded(const KeyLine &key, bool, const ValueLine &value) override {
    ItemLine(Section::kRegistry, key.full, "+     ", value.line);
  }
  void ValueRemoved(const KeyLine &key, const ValueLine &value) override {
    ItemLine(Section::kRegistry, key.full, "-     ", value.line);
  }
  void ValueChanged(const KeyLine &key, const ValueLine &before, const ValueLine &after) override {
    Under(Section::kRegistry, key.full);
    Put("~     \"");
    Shown(after.name);
    Put("\"=");
    Shown(before.data);
    Put(" -> ");
    Shown(after.data);
    Put('\n');
  }

  void DirectoryAdded(std::string_view path) override { HeaderAdded(Section::kFileSystem, path); }
  void DirectoryRemoved(const Directory &d) override {
    HeaderRemoved(Section::kFileSystem, d.path,
                  Plural(d.subtreeDirectories, "directory", "directories") + ", " +
                      Plural(d.subtreeFiles, "file", "files") + ", " +
                      Plural(d.subtreeBytes, "byte", "bytes"));
  }
  void FileAdded(std::string_view directory, bool, const FileLine &file) override {
    ItemLine(Section::kFileSystem, directory, "+     ", file.line);
  }
  void FileRemoved(std::string_view directory, const FileLine &file) override {
    ItemLine(Section::kFileSystem, directory, "-     ", file.line);
  }
  void FileChanged(std::string_view directory, const FileLine &before, const FileLine &after,
                   unsigned what) override {
    Under(Section::kFileSystem, directory);
    Put("~     ");
    Shown(after.name);
    Put(": ");
    const char *separator = "";
    if (what & kSize)
      Change(separator, "size", std::to_string(before.size), std::to_string(after.size));
    if (what & kCrc) Change(separator, "CRC", Hex(before.crc), Hex(after.crc));
    if (what & kTime) Change(separator, "time", before.time, after.time);
    if (what & kRom) {
      Put(separator);
      Put(after.rom ? "now in ROM" : "no longer in ROM");
    }
    Put('\n');
  }

  void ObjectAdded(const DatabaseLine &object) override {
    Heading(Section::kDatabases);
    Put("+ ");
    Shown(object.line);
    Put('\n');
  }
  void ObjectRemoved(const DatabaseLine &object) override {
    Heading(Section::kDatabases);
    Put("- ");
    Shown(object.line);
    Put('\n');
  }
  void ObjectChanged(const DatabaseLine &before, const DatabaseLine &after,
                     unsigned what) override {
    Heading(Section::kDatabases);
    Put("~ ");
    Put(after.kind);
    Put(' ');
    Shown(after.name);
    Put(": ");
    const char *separator = "";
    if (what & kSize)
      Change(separator, "size", std::to_string(before.size), std::to_string(after.size));
    if (what & kRecords)
      Change(separator, "records", std::to_string(before.records), std::to_string(after.records));
    if (what & kTime) Change(separator, "time", before.time, after.time);
    Put('\n');
  }

  void End() override {}

 private:
  // Snapshot text as it is shown: a control character (a byte below 0x20,
  // or 0x7F) is written as \xNN, the way a registry name is written in a
  // snapshot, so that a name can neither steer the reader's terminal nor
  // break the report's lines.
  void Shown(std::string_view text) {
    static const char kDigits[] = "0123456789ABCDEF";
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != 0x7F) continue;
      Put(text.substr(from, i - from));
      const char escape[4] = {'\\', 'x', kDigits[c >> 4], kDigits[c & 15]};
      Put(std::string_view(escape, 4));
      from = i + 1;
    }
    Put(text.substr(from));
  }

  static std::string Hex(uint32_t v) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s(8, '0');
    for (int i = 7; i >= 0; --i, v >>= 4) s[i] = kDigits[v & 15];
    return s;
  }

  // One part of a change, "what before -> after", after the separator from
  // the part before it (none for the first).
  void Change(const char *&separator, const char *what, std::string_view before,
              std::string_view after) {
    Put(separator);
    Put(what);
    Put(' ');
    Shown(before);
    Put(" -> ");
    Shown(after);
    separator = ", ";
  }

  // An added key or directory: its header, which the lines of its values
  // or files then stand under.
  void HeaderAdded(Section s, std::string_view header) {
    Heading(s);
    Put("+ [");
    Shown(header);
    Put("]\n");
    header_ = header;
    headerShown_ = true;
  }
  // A removed key or directory, the top of a removed subtree, with what
  // the subtree held.
  void HeaderRemoved(Section s, std::string_view header, const std::string &subtree) {
    Heading(s);
    Put("- [");
    Shown(header);
    Put("]  (subtree of " + subtree + ")\n");
    headerShown_ = false;
  }
  // An added or removed value or file: its snapshot line after `mark`.
  void ItemLine(Section s, std::string_view header, const char *mark, std::string_view line) {
    Under(s, header);
    Put(mark);
    Shown(line);
    Put('\n');
  }

  void Heading(Section s) {
    if (section_ == s) return;
    section_ = s;
    headerShown_ = false;
    Put(s == Section::kRegistry     ? "\nRegistry\n"
        : s == Section::kFileSystem ? "\nFile system\n"
                                    : "\nDatabases\n");
  }
  // A line under a key or directory: its header first, unless it was the
  // last one written.
  void Under(Section s, std::string_view header) {
    Heading(s);
    if (headerShown_ && header_ == header) return;
    header_ = header;
    headerShown_ = true;
    Put("  [");
    Shown(header);
    Put("]\n");
  }

  Section section_ = Section::kNone;
  std::string header_;        // the last key or directory header written
  bool headerShown_ = false;  // header_ is valid (the root directory's is empty)
};

}  // namespace

std::unique_ptr<Report> NewTextReport(Output &out) { return std::make_unique<TextReport>(out); }

}  // namespace tovik_diff
