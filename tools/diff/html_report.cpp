// html_report.cpp - the comparison as one self-contained HTML page: its
// style is inline, and it has no script and refers to no other file or
// address, so it can be mailed or archived alone.
//
// The summary comes first, as a table of counts per kind of item. Then each
// section that has changes is one collapsible part (<details>) holding a
// table with a row per change, coloured as added, removed or changed, and
// the old and the new value side by side. A key or directory that stayed
// heads the rows of its changed values or files. Snapshot text is taken as
// Windows-1252, the device's default code page, and written as UTF-8 with
// the characters that mean something in HTML escaped.
#include <cstdio>

#include "report.h"

namespace tovik_diff {
namespace {

const char kHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
body { font: 14px/1.4 "DejaVu Sans", Arial, sans-serif; color: #1f2328; background: #fff; margin: 1.5em; }
h1 { font-size: 1.4em; margin: 0 0 .2em; }
h2 { font-size: 1.15em; margin: 1em 0 .4em; }
p.files { margin: 0 0 1em; }
code, td.name, td.old, td.new { font-family: "DejaVu Sans Mono", Consolas, monospace; font-size: 13px; }
table { border-collapse: collapse; }
th, td { padding: .2em .6em; text-align: left; vertical-align: top; }
table.summary { border: 1px solid #d0d7de; }
table.summary thead th { border-bottom: 1px solid #d0d7de; }
table.summary td { text-align: right; min-width: 4.5em; }
table.summary td.note { text-align: left; color: #57606a; }
table.summary td.added { color: #1a7f37; font-weight: bold; }
table.summary td.removed { color: #cf222e; font-weight: bold; }
table.summary td.changed { color: #9a6700; font-weight: bold; }
p.note { color: #57606a; }
details { margin: .8em 0; border: 1px solid #d0d7de; border-radius: 6px; }
details > summary { cursor: pointer; padding: .4em .8em; background: #f6f8fa; font-weight: bold; }
table.changes { width: 100%; table-layout: fixed; }
table.changes thead th { color: #57606a; font-weight: normal; border-bottom: 1px solid #d0d7de; }
col.mark { width: 1.8em; }
col.name { width: 30%; }
td.name, td.old, td.new { overflow-wrap: anywhere; white-space: pre-wrap; }
td.mark { font-weight: bold; text-align: center; }
tr.added { background: #e6ffec; }
tr.added td.mark { color: #1a7f37; }
tr.removed { background: #ffebe9; }
tr.removed td.mark { color: #cf222e; }
tr.changed { background: #fff8c5; }
tr.changed td.mark { color: #9a6700; }
tr.changed td.old { color: #82071e; }
tr.changed td.new { color: #116329; }
tr.header td { font-weight: bold; }
td strong { text-decoration: underline; }
</style>
)";

class HtmlReport : public Report {
 public:
  using Report::Report;

  void Begin(const Summary &s) override {
    summary_ = s;
    Put(kHead);
    Put("<title>tovik-diff: ");
    Text(s.oldPath);
    Put(" &rarr; ");
    Text(s.newPath);
    Put("</title>\n</head>\n<body>\n<h1>Snapshot comparison</h1>\n<p class=\"files\">old <code>");
    Text(s.oldPath);
    Put("</code> &rarr; new <code>");
    Text(s.newPath);
    Put("</code></p>\n<h2>");
    if (s.counts.Total() > 0)
      Put("Summary: " + Plural(s.counts.Total(), "difference", "differences"));
    else
      Put(s.Differs() ? "Summary: no differences in what was compared" : "No differences");
    Put("</h2>\n<table class=\"summary\">\n<thead><tr><th></th><th>added</th><th>removed</th>"
        "<th>changed</th></tr></thead>\n<tbody>\n");
    const Counts &c = s.counts;
    if (SummarySection(Section::kRegistry, "Registry")) {
      Counted("Registry keys", c.keysAdded, c.keysRemoved, nullptr);
      Counted("Registry values", c.valuesAdded, c.valuesRemoved, &c.valuesChanged);
    }
    if (SummarySection(Section::kFileSystem, "File system")) {
      Counted("Directories", c.directoriesAdded, c.directoriesRemoved, nullptr);
      Counted("Files", c.filesAdded, c.filesRemoved, &c.filesChanged);
    }
    if (SummarySection(Section::kDatabases, "Databases"))
      Counted("Database objects", c.objectsAdded, c.objectsRemoved, &c.objectsChanged);
    Put("</tbody>\n</table>\n");
    if (s.crcNote) {
      Put("<p class=\"note\">CRCs: not compared, only <code>");
      Text(s.oldCrc == CrcColumn::kPresent ? s.oldPath : s.newPath);
      Put("</code> has them.</p>\n");
    }
  }

  void KeyAdded(const KeyLine &key) override {
    HeaderRow(Section::kRegistry, "added", key.full, nullptr, "key added");
  }
  void KeyRemoved(const Key &key) override {
    std::string subtree = "key removed, with its subtree of " +
                          Plural(key.subtreeKeys, "key", "keys") + ", " +
                          Plural(key.subtreeValues, "value", "values");
    HeaderRow(Section::kRegistry, "removed", key.line.full, subtree.c_str(), nullptr);
  }
  void ValueAdded(const KeyLine &key, bool, const ValueLine &value) override {
    ValueRow(key, "added", value.name, nullptr, &value.data);
  }
  void ValueRemoved(const KeyLine &key, const ValueLine &value) override {
    ValueRow(key, "removed", value.name, &value.data, nullptr);
  }
  void ValueChanged(const KeyLine &key, const ValueLine &before, const ValueLine &after) override {
    ValueRow(key, "changed", after.name, &before.data, &after.data);
  }

  void DirectoryAdded(std::string_view path) override {
    HeaderRow(Section::kFileSystem, "added", path, nullptr, "directory added");
  }
  void DirectoryRemoved(const Directory &d) override {
    std::string subtree = "directory removed, with its subtree of " +
                          Plural(d.subtreeDirectories, "directory", "directories") + ", " +
                          Plural(d.subtreeFiles, "file", "files") + ", " +
                          Plural(d.subtreeBytes, "byte", "bytes");
    HeaderRow(Section::kFileSystem, "removed", d.path, subtree.c_str(), nullptr);
  }
  void FileAdded(std::string_view directory, bool, const FileLine &file) override {
    FileRow(directory, "added", file.name, nullptr, &file, 0);
  }
  void FileRemoved(std::string_view directory, const FileLine &file) override {
    FileRow(directory, "removed", file.name, &file, nullptr, 0);
  }
  void FileChanged(std::string_view directory, const FileLine &before, const FileLine &after,
                   unsigned what) override {
    FileRow(directory, "changed", after.name, &before, &after, what);
  }

  void ObjectAdded(const DatabaseLine &object) override {
    ObjectRow("added", object, nullptr, &object, 0);
  }
  void ObjectRemoved(const DatabaseLine &object) override {
    ObjectRow("removed", object, &object, nullptr, 0);
  }
  void ObjectChanged(const DatabaseLine &before, const DatabaseLine &after,
                     unsigned what) override {
    ObjectRow("changed", after, &before, &after, what);
  }

  void End() override {
    CloseSection();
    Put("</body>\n</html>\n");
  }

 private:
  // The summary's heading row of a section; false when its counts are not
  // to follow (the section is in neither snapshot, or only in one).
  bool SummarySection(Section section, const char *name) {
    int i = static_cast<int>(section);
    if (!summary_.inOld[i] && !summary_.inNew[i]) return false;
    if (summary_.compared[i]) return true;
    Put("<tr><th scope=\"row\">");
    Put(name);
    Put("</th><td class=\"note\" colspan=\"3\">not compared, only in <code>");
    Text(summary_.inOld[i] ? summary_.oldPath : summary_.newPath);
    Put("</code></td></tr>\n");
    return false;
  }

  // A row of counts; `changed` is null for items that are only added or
  // removed (keys, directories).
  void Counted(const char *what, uint64_t added, uint64_t removed, const uint64_t *changed) {
    Put("<tr><th scope=\"row\">");
    Put(what);
    Put("</th>");
    Count("added", added);
    Count("removed", removed);
    if (changed)
      Count("changed", *changed);
    else
      Put("<td>&ndash;</td>");
    Put("</tr>\n");
  }
  void Count(const char *change, uint64_t n) {
    if (n) {
      Put("<td class=\"");
      Put(change);
      Put("\">");
    } else {
      Put("<td>");
    }
    PutNumber(n);
    Put("</td>");
  }

  // Opens the part of a section, closing the one before.
  void Heading(Section s) {
    if (section_ == s) return;
    CloseSection();
    section_ = s;
    headerShown_ = false;
    const Counts &c = summary_.counts;
    uint64_t n = s == Section::kRegistry ? c.keysAdded + c.keysRemoved + c.valuesAdded +
                                               c.valuesRemoved + c.valuesChanged
                 : s == Section::kFileSystem ? c.directoriesAdded + c.directoriesRemoved +
                                                   c.filesAdded + c.filesRemoved + c.filesChanged
                                             : c.objectsAdded + c.objectsRemoved + c.objectsChanged;
    Put("<details open>\n<summary>");
    Put(s == Section::kRegistry     ? "Registry"
        : s == Section::kFileSystem ? "File system"
                                    : "Databases");
    Put(" &mdash; " + Plural(n, "difference", "differences"));
    Put("</summary>\n<table class=\"changes\">\n<colgroup><col class=\"mark\"><col class=\"name\">"
        "<col><col></colgroup>\n<thead><tr><th></th><th>");
    Put(s == Section::kRegistry     ? "key, value"
        : s == Section::kFileSystem ? "directory, file"
                                    : "object");
    Put("</th><th>old</th><th>new</th></tr></thead>\n<tbody>\n");
  }
  void CloseSection() {
    if (section_ != Section::kNone) Put("</tbody>\n</table>\n</details>\n");
    section_ = Section::kNone;
  }

  // Opens a row: `change` is its class and gives its mark.
  void Row(const char *change) {
    Put("<tr class=\"");
    Put(change);
    Put("\"><td class=\"mark\">");
    Put(change[0] == 'a' ? "+" : change[0] == 'r' ? "&minus;" : "~");
    Put("</td>");
  }

  // An added or removed key or directory: its path in brackets, then what
  // it is (with the size of a removed subtree) in the old or new column.
  void HeaderRow(Section s, const char *change, std::string_view path, const char *oldNote,
                 const char *newNote) {
    Heading(s);
    Row(change);
    Put("<td class=\"name\">[");
    Text(path);
    Put("]</td><td class=\"old\">");
    if (oldNote) Put(oldNote);
    Put("</td><td class=\"new\">");
    if (newNote) Put(newNote);
    Put("</td></tr>\n");
    header_.assign(path.data(), path.size());
    headerShown_ = change[0] == 'a';  // an added header heads its items
  }

  // The row of the key or directory that stayed, before the first of its
  // changed items.
  void Under(Section s, std::string_view path) {
    Heading(s);
    if (headerShown_ && header_ == path) return;
    header_.assign(path.data(), path.size());
    headerShown_ = true;
    Put("<tr class=\"header\"><td></td><td class=\"name\" colspan=\"3\">[");
    Text(path);
    Put("]</td></tr>\n");
  }

  void ValueRow(const KeyLine &key, const char *change, std::string_view name,
                const std::string_view *before, const std::string_view *after) {
    Under(Section::kRegistry, key.full);
    Row(change);
    Put("<td class=\"name\">\"");
    Text(name);
    Put("\"</td><td class=\"old\">");
    if (before) Text(*before);
    Put("</td><td class=\"new\">");
    if (after) Text(*after);
    Put("</td></tr>\n");
  }

  // A file's or database object's fields, the ones in `what` emphasised.
  void Field(const char *&separator, bool changed, std::string_view text) {
    Put(separator);
    if (changed) Put("<strong>");
    Text(text);
    if (changed) Put("</strong>");
    separator = " &middot; ";
  }

  void FileRow(std::string_view directory, const char *change, std::string_view name,
               const FileLine *before, const FileLine *after, unsigned what) {
    Under(Section::kFileSystem, directory);
    Row(change);
    Put("<td class=\"name\">");
    Text(name);
    Put("</td>");
    for (const FileLine *f : {before, after}) {
      Put(f == before ? "<td class=\"old\">" : "<td class=\"new\">");
      if (f) {
        const char *separator = "";
        Field(separator, what & kTime, f->time);
        Field(separator, what & kSize, Plural(f->size, "byte", "bytes"));
        if (f->hasCrc) Field(separator, what & kCrc, "CRC " + Hex(f->crc));
        if (f->rom || (what & kRom))
          Field(separator, what & kRom, f->rom ? "in ROM" : "not in ROM");
      }
      Put("</td>");
    }
    Put("</tr>\n");
  }

  void ObjectRow(const char *change, const DatabaseLine &object, const DatabaseLine *before,
                 const DatabaseLine *after, unsigned what) {
    Heading(Section::kDatabases);
    Row(change);
    Put("<td class=\"name\">");
    Put(object.kind == 'B' ? "database " : object.kind == 'F' ? "file " : "directory ");
    Text(object.name);
    Put("</td>");
    for (const DatabaseLine *d : {before, after}) {
      Put(d == before ? "<td class=\"old\">" : "<td class=\"new\">");
      if (d && d->kind != 'D') {
        const char *separator = "";
        Field(separator, what & kTime, d->time);
        Field(separator, what & kSize, Plural(d->size, "byte", "bytes"));
        if (d->kind == 'B')
          Field(separator, what & kRecords, Plural(d->records, "record", "records"));
      }
      Put("</td>");
    }
    Put("</tr>\n");
  }

  static std::string Hex(uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
    return text;
  }

  // Snapshot text as HTML: markup characters as entities, control
  // characters as their visible pictures (U+2400 on), other bytes taken as
  // Windows-1252 and written as UTF-8.
  void Text(std::string_view s) {
    for (char ch : s) {
      unsigned char c = static_cast<unsigned char>(ch);
      switch (c) {
        case '&':
          Put("&amp;");
          break;
        case '<':
          Put("&lt;");
          break;
        case '>':
          Put("&gt;");
          break;
        case '"':
          Put("&quot;");
          break;
        case '\'':
          Put("&#39;");
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char picture[10];
            std::snprintf(picture, sizeof picture, "&#x%X;", 0x2400u + (c == 0x7F ? 0x21u : c));
            Put(picture);
          } else if (c < 0x80) {
            Put(ch);
          } else {
            utf8_.clear();
            AppendUtf8From1252(utf8_, c);
            Put(utf8_);
          }
      }
    }
  }

  Summary summary_;
  Section section_ = Section::kNone;
  std::string header_;        // the last key or directory heading rows
  bool headerShown_ = false;  // header_ heads the rows that follow
  std::string utf8_;
};

}  // namespace

std::unique_ptr<Report> NewHtmlReport(Output &out) { return std::make_unique<HtmlReport>(out); }

}  // namespace tovik_diff
