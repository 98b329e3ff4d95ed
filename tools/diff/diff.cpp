// diff.cpp - the comparison: the new snapshot matched against the old one's
// index (index.h) in two passes, handed to the chosen report
// (text_report.cpp, json_report.cpp, html_report.cpp), and the command line.
#include "diff.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <initializer_list>
#include <utility>
#include <string_view>

#include "index.h"
#include "report.h"
#include "snapshot.h"

namespace tovik_diff {
namespace {

// ===========================================================================
// Matching the new snapshot against the old one
// ===========================================================================

// One pass over the new snapshot. Without a report it only matches and
// counts; with one it writes the changes it meets, and the removed items
// (known from the counting pass) at the end of their root or section.
class Comparer : public SnapshotSink {
 public:
  Comparer(OldSnapshot &old, const bool (&oldHas)[kSectionCount], Report *report)
      : old_(old), oldHas_(oldHas), report_(report) {}

  Counts counts;

  void OnKey(const KeyLine &key) override {
    if (!Has(Section::kRegistry)) return;
    EndKey();
    if (report_ && key.root != root_) {
      if (root_ >= 0) FlushRoot(root_);
      root_ = key.root;
    }
    keyOld_ = Take(old_.keyTable, old_.keys, nextKey_, 0, key.full);
    if (keyOld_ != kNone) {
      nextValue_ = old_.keys[keyOld_].firstValue;
      return;
    }
    ++counts.keysAdded;
    keyAdded_ = true;
    if (report_) {
      // Views into the new snapshot die with its line: keep a copy.
      newKeyText_.assign(key.full.data(), key.full.size());
      newKey_ = KeyLine{newKeyText_, key.root,
                        std::string_view(newKeyText_).substr(key.full.size() - key.path.size())};
      report_->KeyAdded(newKey_);
    }
  }

  void OnValue(const ValueLine &value) override {
    if (!Has(Section::kRegistry)) return;
    // The values of an added key are all added.
    uint32_t id = kNone;
    if (!keyAdded_) id = Take(old_.valueTable, old_.values, nextValue_, keyOld_, value.name);
    if (id == kNone) {
      ++counts.valuesAdded;
      if (report_)
        report_->ValueAdded(keyAdded_ ? newKey_ : old_.keys[keyOld_].line, keyAdded_, value);
      return;
    }
    const Value &before = old_.values[id];
    if (!SameValueData(before.View().data, value.data)) {
      ++counts.valuesChanged;
      if (report_) report_->ValueChanged(old_.keys[keyOld_].line, before.View(), value);
    }
  }

  void OnDirectory(std::string_view path) override {
    if (!Has(Section::kFileSystem)) return;
    EndDirectory();
    directoryOld_ = Take(old_.directoryTable, old_.directories, nextDirectory_, 0, path);
    if (directoryOld_ != kNone) {
      nextFile_ = old_.directories[directoryOld_].firstFile;
      return;
    }
    ++counts.directoriesAdded;
    directoryAdded_ = true;
    if (report_) {
      newDirectory_.assign(path.data(), path.size());
      report_->DirectoryAdded(newDirectory_);
    }
  }

  void OnFile(const FileLine &file) override {
    if (!Has(Section::kFileSystem)) return;
    std::string_view directory =
        directoryAdded_ ? std::string_view(newDirectory_) : old_.directories[directoryOld_].path;
    uint32_t id = kNone;
    if (!directoryAdded_)
      id = Take(old_.fileTable, old_.files, nextFile_, directoryOld_, file.name);
    if (id == kNone) {
      ++counts.filesAdded;
      if (report_) report_->FileAdded(directory, directoryAdded_, file);
      return;
    }
    const File &before = old_.files[id];
    unsigned what = 0;
    if (before.size != file.size) what |= kSize;
    // CRCs are compared only when both snapshots have the column.
    if (before.hasCrc && file.hasCrc && before.crc != file.crc) what |= kCrc;
    if (before.text.substr(0, before.timeLength) != file.time) what |= kTime;
    if (before.rom != file.rom) what |= kRom;
    if (what) {
      ++counts.filesChanged;
      if (report_) report_->FileChanged(directory, before.View(), file, what);
    }
  }

  void OnDatabase(const DatabaseLine &object) override {
    if (!Has(Section::kDatabases)) return;
    uint32_t id = Take(old_.objectTable, old_.objects, nextObject_,
                       static_cast<unsigned char>(object.kind), object.name);
    if (id == kNone) {
      ++counts.objectsAdded;
      if (report_) report_->ObjectAdded(object);
      return;
    }
    const Object &before = old_.objects[id];
    unsigned what = 0;
    if (before.line.size != object.size) what |= kSize;
    if (before.line.records != object.records) what |= kRecords;
    if (before.line.time != object.time) what |= kTime;
    if (what) {
      ++counts.objectsChanged;
      if (report_) report_->ObjectChanged(before.line, object, what);
    }
  }

  void OnSectionEnd(Section section) override {
    if (!Has(section)) return;
    if (section == Section::kRegistry) {
      EndKey();
      if (report_)
        for (int root = 0; root < kRootCount; ++root) FlushRoot(root);
    } else if (section == Section::kFileSystem) {
      EndDirectory();
      if (report_)
        for (uint32_t id = 0; id < old_.directories.size(); ++id) {
          const Directory &d = old_.directories[id];
          if (!d.matched && d.top == id) report_->DirectoryRemoved(d);
        }
    } else if (section == Section::kDatabases && report_) {
      for (const Object &o : old_.objects)
        if (!o.matched) report_->ObjectRemoved(o.line);
    }
  }

 private:
  bool Has(Section s) const { return oldHas_[static_cast<int>(s)]; }

  // Matches a key, value, directory, file or database object of the new
  // snapshot: takes the next old one of that name under `parent` (the
  // containing key or directory, or an object's kind), marks it matched and
  // moves the guess `next` past it. kNone when the old snapshot has none
  // left.
  template <class Item>
  static uint32_t Take(NameTable &table, std::vector<Item> &items, uint32_t &next, uint32_t parent,
                       std::string_view name) {
    uint32_t id = table.TakeNear(next, parent, name);
    if (id != kNone) {
      items[id].matched = true;
      next = id + 1;
    }
    return id;
  }

  // The values of the old key that the new one no longer has.
  void EndKey() {
    if (report_ && keyOld_ != kNone) {
      const Key &k = old_.keys[keyOld_];
      for (uint32_t v = k.firstValue; v < k.endValue; ++v)
        if (!old_.values[v].matched) report_->ValueRemoved(k.line, old_.values[v].View());
    }
    keyOld_ = kNone;
    keyAdded_ = false;
  }

  void EndDirectory() {
    if (report_ && directoryOld_ != kNone) {
      const Directory &d = old_.directories[directoryOld_];
      for (uint32_t f = d.firstFile; f < d.endFile; ++f)
        if (!old_.files[f].matched) report_->FileRemoved(d.path, old_.files[f].View());
    }
    directoryOld_ = kNone;
    directoryAdded_ = false;
  }

  // The removed subtrees of one root, each once, in the old snapshot's order.
  void FlushRoot(int root) {
    if (flushed_[root]) return;
    flushed_[root] = true;
    for (uint32_t id = 0; id < old_.keys.size(); ++id) {
      const Key &k = old_.keys[id];
      if (k.line.root == root && !k.matched && k.top == id) report_->KeyRemoved(k);
    }
  }

  OldSnapshot &old_;
  const bool (&oldHas_)[kSectionCount];
  Report *report_;

  uint32_t keyOld_ = kNone;
  bool keyAdded_ = false;
  std::string newKeyText_;
  KeyLine newKey_{};
  int root_ = -1;
  bool flushed_[kRootCount] = {false, false, false, false};

  uint32_t directoryOld_ = kNone;
  bool directoryAdded_ = false;
  std::string newDirectory_;

  // The old items after the last ones matched: the likely next matches.
  uint32_t nextKey_ = 0, nextValue_ = 0, nextDirectory_ = 0, nextFile_ = 0, nextObject_ = 0;
};

// ===========================================================================
// Running a comparison
// ===========================================================================

void Say(Output &err, const std::string &message) {
  std::string line = "tovik-diff: " + message + "\n";
  err.Write(line.data(), line.size());
}

// Streams the new snapshot through `sink`. With `crcAbsent` false the CRC
// column may be found to be a misreading; then `restart` is called and the
// file is read again with the column taken as absent, which is remembered
// in `crcAbsent`. Returns false with a message in `error`.
// `text`, when not null, holds the file's text already read.
bool StreamFile(const std::string &path, const std::string *text, SnapshotSink &sink,
                bool &crcAbsent, const std::function<void()> &restart, CrcColumn &crc,
                bool (&present)[kSectionCount], std::string &error) {
  for (;;) {
    LineReader reader;
    std::string why;
    if (text) {
      reader.OpenText(*text);
    } else if (!reader.Open(path, why)) {
      error = "cannot open " + path + ": " + why;
      return false;
    }
    SnapshotParser parser(sink, crcAbsent);
    std::string_view line;
    SnapshotParser::Result result = SnapshotParser::kOk;
    while (result == SnapshotParser::kOk && reader.Next(line))
      result = reader.lineEnded() ? parser.Line(line) : parser.Finish(false);
    if (reader.failed()) {
      error = "cannot read " + path + ": " + reader.error();
      return false;
    }
    if (result == SnapshotParser::kOk) result = parser.Finish(reader.lineEnded());
    if (result == SnapshotParser::kRestart && !crcAbsent) {
      crcAbsent = true;
      restart();
      continue;
    }
    if (result != SnapshotParser::kOk) {
      error = path + ":" + std::to_string(reader.lineNumber() ? reader.lineNumber() : 1) + ": " +
              parser.error();
      return false;
    }
    crc = parser.crc();
    for (int i = 0; i < kSectionCount; ++i) present[i] = parser.has(static_cast<Section>(i));
    return true;
  }
}

// The comparison; `oldGiven` and `newGiven`, when not null, hold the texts
// of the snapshots, which are then not read from their paths.
int Compare(const std::string &oldPath, const std::string *oldGiven, const std::string &newPath,
            const std::string *newGiven, Format format, Output &out, Output &err) {
  Summary summary;
  summary.oldPath = oldPath;
  summary.newPath = newPath;

  // The old snapshot, whole and indexed.
  std::string oldRead, why;
  if (!oldGiven && !ReadWholeFile(oldPath, oldRead, why)) {
    Say(err, "cannot read " + oldPath + ": " + why);
    return 2;
  }
  const std::string &oldText = oldGiven ? *oldGiven : oldRead;
  OldSnapshot old;
  old.Reserve(oldText);
  if (!ParseText(
          oldText, old, [&old] { old.Clear(); }, summary.oldCrc, summary.inOld, why)) {
    // ParseText says "line N: message"; make it "path:N: message".
    Say(err, oldPath + ":" + why.substr(5));
    return 2;
  }
  old.Index();

  // First pass: match and count.
  bool crcAbsent = false;
  Comparer counter(old, summary.inOld, nullptr);
  auto restart = [&] {
    old.ResetMatches();
    counter.counts = Counts();
  };
  // The new snapshot is read twice. A pipe or other special file cannot be
  // read again, so its text is kept in memory instead.
  std::string newText;
  bool newInMemory = false;
  std::error_code ignored;
  if (!newGiven && !std::filesystem::is_regular_file(newPath, ignored) &&
      std::filesystem::exists(newPath, ignored) &&
      !std::filesystem::is_directory(newPath, ignored)) {
    if (!ReadWholeFile(newPath, newText, why)) {
      Say(err, "cannot read " + newPath + ": " + why);
      return 2;
    }
    newInMemory = true;
  }
  const std::string *newSource = newGiven ? newGiven : newInMemory ? &newText : nullptr;
  if (!StreamFile(newPath, newSource, counter, crcAbsent, restart, summary.newCrc, summary.inNew,
                  why)) {
    Say(err, why);
    return 2;
  }
  summary.counts = counter.counts;
  for (int i = 1; i < kSectionCount; ++i)
    summary.compared[i] = summary.inOld[i] && summary.inNew[i];
  old.CountRemoved(summary.compared, summary.counts);
  bool filesCompared = summary.compared[static_cast<int>(Section::kFileSystem)];
  summary.crcCompared = filesCompared && summary.oldCrc == CrcColumn::kPresent &&
                        summary.newCrc == CrcColumn::kPresent;
  summary.crcNote = filesCompared && summary.oldCrc != CrcColumn::kUnknown &&
                    summary.newCrc != CrcColumn::kUnknown && summary.oldCrc != summary.newCrc;

  // Second pass, only when there is something to list: the report.
  std::unique_ptr<Report> chosen;
  if (format == Format::kJson)
    chosen = NewJsonReport(out);
  else if (format == Format::kHtml)
    chosen = NewHtmlReport(out);
  else
    chosen = NewTextReport(out);
  Report &report = *chosen;
  report.Begin(summary);
  if (summary.counts.Total() > 0) {
    old.ResetCursors();
    Comparer writer(old, summary.inOld, &report);
    bool inNew[kSectionCount];
    CrcColumn crc;
    if (!StreamFile(
            newPath, newSource, writer, crcAbsent, [] {}, crc, inNew, why)) {
      report.Flush();
      Say(err, why);
      return 2;
    }
  }
  report.End();
  if (!report.Flush()) {
    Say(err, "cannot write the report");
    return 2;
  }
  return summary.Differs() ? 1 : 0;
}

}  // namespace

void AppendUtf8From1252(std::string &out, unsigned char c) {
  static const uint16_t k1252[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  unsigned u = c >= 0x80 && c < 0xA0 ? k1252[c - 0x80] : c;
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
    return;
  }
  if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (u >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (u >> 12)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
}

int CompareFiles(const std::string &oldPath, const std::string &newPath, Format format, Output &out,
                 Output &err) {
  return Compare(oldPath, nullptr, newPath, nullptr, format, out, err);
}

int CompareTexts(const std::string &oldText, const std::string &newText, Format format, Output &out,
                 Output &err) {
  return Compare("OLD", &oldText, "NEW", &newText, format, out, err);
}

namespace {

const char kUsage[] =
    "usage: tovik-diff [--format text|json|html] OLD NEW\n"
    "Compares two tovik snapshots and reports what was added, removed and\n"
    "changed in the registry, the file system and the databases.\n"
    "Exit status: 0 nothing differs, 1 something differs, 2 trouble.\n";

}  // namespace

int DiffMain(const std::vector<std::string> &args, Output &out, Output &err) {
  Format format = Format::kText;
  std::vector<std::string> files;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && (a == "--help" || a == "-h")) {
      out.Write(kUsage, sizeof kUsage - 1);
      return 0;
    } else if (options && (a == "--format" || a.compare(0, 9, "--format=") == 0)) {
      std::string value;
      if (a == "--format") {
        if (i + 1 >= args.size()) {
          Say(err, "--format needs a value: text, json or html");
          return 2;
        }
        value = args[++i];
      } else {
        value = a.substr(9);
      }
      if (value == "text") {
        format = Format::kText;
      } else if (value == "json") {
        format = Format::kJson;
      } else if (value == "html") {
        format = Format::kHtml;
      } else {
        Say(err, "unknown format '" + value + "' (text, json or html)");
        return 2;
      }
    } else if (options && a.size() > 1 && a[0] == '-') {
      Say(err, "unknown option " + a);
      err.Write(kUsage, sizeof kUsage - 1);
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) {
    err.Write(kUsage, sizeof kUsage - 1);
    return 2;
  }
  try {
    return CompareFiles(files[0], files[1], format, out, err);
  } catch (const std::bad_alloc &) {
    Say(err, "out of memory");
  } catch (const std::exception &e) {
    Say(err, e.what());
  }
  return 2;
}

}  // namespace tovik_diff
