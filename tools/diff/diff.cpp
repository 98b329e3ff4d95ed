// diff.cpp - the old snapshot's index, the matching of the new snapshot
// against it, and the text and JSON reports (the HTML one is in
// html_report.cpp).
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

#include "report.h"
#include "snapshot.h"

namespace tovik_diff {
namespace {

// ===========================================================================
// Name table: (parent, name) -> the occurrences of that name, in file order
// ===========================================================================

// Open addressing over the entries of one kind of item. Take() hands out the
// occurrences of a name one after the other, so the n-th occurrence in the
// new snapshot meets the n-th in the old one.
class NameTable {
 public:
  void Reserve(size_t count) { entries_.reserve(count); }
  void Add(uint32_t parent, std::string_view name) {
    entries_.push_back(Entry{name, parent, kNone, kNone, Hash(parent, name), false});
  }

  void Build() {
    size_t size = 16;
    while (size < entries_.size() * 2) size *= 2;
    slots_.assign(size, 0);
    mask_ = size - 1;
    std::vector<uint32_t> tail(entries_.size());
    for (uint32_t id = 0; id < entries_.size(); ++id) {
      Entry &e = entries_[id];
      size_t slot = Probe(e.parent, e.name, e.hash);
      if (slots_[slot] == 0) {
        slots_[slot] = id + 1;
        tail[id] = id;
        e.unique = true;
      } else {
        uint32_t head = slots_[slot] - 1;
        entries_[head].unique = false;
        entries_[tail[head]].next = id;
        tail[head] = id;
      }
    }
    ResetCursors();
  }

  // The first occurrence of a name, or kNone; does not advance.
  uint32_t Find(uint32_t parent, std::string_view name) const {
    size_t slot = Probe(parent, name, Hash(parent, name));
    return slots_[slot] ? slots_[slot] - 1 : kNone;
  }

  // Take() with a guess: snapshots of one device mostly list their items in
  // the same order, so the item after the last one matched is usually the
  // one asked for. Checking it first keeps the lookups in the memory next to
  // the last one. Only a name that occurs once is taken this way, so the
  // answer is always the one Take() would give.
  uint32_t TakeNear(uint32_t guess, uint32_t parent, std::string_view name) {
    if (guess < entries_.size()) {
      Entry &e = entries_[guess];
      if (e.unique && e.cursor == guess && e.parent == parent && e.name == name) {
        e.cursor = kNone;
        return guess;
      }
    }
    return Take(parent, name);
  }

  // The next occurrence not yet handed out, or kNone.
  uint32_t Take(uint32_t parent, std::string_view name) {
    size_t slot = Probe(parent, name, Hash(parent, name));
    if (slots_[slot] == 0) return kNone;
    Entry &head = entries_[slots_[slot] - 1];
    uint32_t id = head.cursor;
    if (id != kNone) head.cursor = entries_[id].next;
    return id;
  }

  void ResetCursors() {
    for (uint32_t id = 0; id < entries_.size(); ++id) entries_[id].cursor = id;
  }

 private:
  struct Entry {
    std::string_view name;
    uint32_t parent;
    uint32_t next;    // next occurrence of the same name
    uint32_t cursor;  // heads only: next occurrence to hand out
    uint32_t hash;
    bool unique = false;  // the only occurrence of its name
  };

  static uint32_t Hash(uint32_t parent, std::string_view name) {
    uint64_t h = std::hash<std::string_view>()(name) ^ (parent * 0x9E3779B97F4A7C15ull);
    return static_cast<uint32_t>(h ^ (h >> 32));
  }

  size_t Probe(uint32_t parent, std::string_view name, uint32_t hash) const {
    size_t slot = hash & mask_;
    for (;;) {
      uint32_t at = slots_[slot];
      if (at == 0) return slot;
      const Entry &e = entries_[at - 1];
      if (e.hash == hash && e.parent == parent && e.name == name) return slot;
      slot = (slot + 1) & mask_;
    }
  }

  std::vector<Entry> entries_;
  std::vector<uint32_t> slots_;
  size_t mask_ = 0;
};

// ===========================================================================
// The old snapshot
// ===========================================================================

// Values and files are the bulk of a snapshot; they keep their line and
// where its parts start, and give the parsed form on demand.
struct Value {
  std::string_view text;  // the whole line
  uint32_t nameLength;
  uint32_t key;
  bool matched = false;

  ValueLine View() const {
    return ValueLine{text, text.substr(1, nameLength), text.substr(nameLength + 3)};
  }
};

struct File {
  std::string_view text;  // the whole line
  uint64_t size;
  uint32_t crc;
  uint32_t directory;
  uint32_t nameOffset;
  uint32_t timeLength;
  bool rom, hasCrc;
  bool matched = false;

  FileLine View() const {
    return FileLine{text, text.substr(0, timeLength), rom, size, hasCrc,
                    crc,  text.substr(nameOffset)};
  }
};

struct Object {
  DatabaseLine line;
  bool matched = false;
};

class OldSnapshot : public SnapshotSink {
 public:
  void OnKey(const KeyLine &key) override {
    uint32_t first = static_cast<uint32_t>(values.size());
    keys.push_back(Key{key, first, first});
  }
  void OnValue(const ValueLine &value) override {
    values.push_back(Value{value.line, static_cast<uint32_t>(value.name.size()),
                           static_cast<uint32_t>(keys.size() - 1)});
    keys.back().endValue = static_cast<uint32_t>(values.size());
  }
  void OnDirectory(std::string_view path) override {
    uint32_t first = static_cast<uint32_t>(files.size());
    directories.push_back(Directory{path, first, first});
  }
  void OnFile(const FileLine &file) override {
    files.push_back(File{file.line, file.size, file.crc,
                         static_cast<uint32_t>(directories.size() - 1),
                         static_cast<uint32_t>(file.name.data() - file.line.data()),
                         static_cast<uint32_t>(file.time.size()), file.rom, file.hasCrc});
    directories.back().endFile = static_cast<uint32_t>(files.size());
  }
  void OnDatabase(const DatabaseLine &object) override { objects.push_back(Object{object}); }
  void OnSectionEnd(Section) override {}

  // Sizes the item lists from a count of the lines by their first
  // character, so that each is allocated once and at its size.
  void Reserve(std::string_view text) {
    size_t counts[256] = {};
    for (size_t pos = 0; pos < text.size();) {
      ++counts[static_cast<unsigned char>(text[pos])];
      const void *lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
      if (!lf) break;
      pos = static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1;
    }
    auto count = [&counts](char c) { return counts[static_cast<unsigned char>(c)]; };
    size_t digits = 0;
    for (char c = '0'; c <= '9'; ++c) digits += count(c);
    keys.reserve(count('['));
    directories.reserve(count('['));
    values.reserve(count('"'));
    files.reserve(digits);
    objects.reserve(count('B') + count('F') + count('D'));
  }

  void Clear() {
    keys.clear();
    values.clear();
    directories.clear();
    files.clear();
    objects.clear();
  }

  // Builds the name tables and links each key and directory to its parent.
  void Index() {
    keyTable.Reserve(keys.size());
    valueTable.Reserve(values.size());
    directoryTable.Reserve(directories.size());
    fileTable.Reserve(files.size());
    objectTable.Reserve(objects.size());
    for (const Key &k : keys) keyTable.Add(0, k.line.full);
    for (const Value &v : values) valueTable.Add(v.key, v.View().name);
    for (const Directory &d : directories) directoryTable.Add(0, d.path);
    for (const File &f : files) fileTable.Add(f.directory, f.View().name);
    for (const Object &o : objects)
      objectTable.Add(static_cast<unsigned char>(o.line.kind), o.line.name);
    keyTable.Build();
    valueTable.Build();
    directoryTable.Build();
    fileTable.Build();
    objectTable.Build();
    for (Key &k : keys) {
      if (k.line.path.empty()) continue;
      size_t slash = k.line.full.rfind('\\');
      size_t rootEnd = k.line.full.size() - k.line.path.size();  // just past the root's backslash
      std::string_view parent = k.line.full.substr(0, slash + 1 == rootEnd ? rootEnd : slash);
      k.parent = keyTable.Find(0, parent);
    }
    for (Directory &d : directories) {
      if (d.path.empty()) continue;
      d.parent = directoryTable.Find(0, d.path.substr(0, d.path.rfind('\\')));
    }
  }

  void ResetCursors() {
    keyTable.ResetCursors();
    valueTable.ResetCursors();
    directoryTable.ResetCursors();
    fileTable.ResetCursors();
    objectTable.ResetCursors();
  }

  void ResetMatches() {
    ResetCursors();
    for (Key &k : keys) k.matched = false;
    for (Value &v : values) v.matched = false;
    for (Directory &d : directories) d.matched = false;
    for (File &f : files) f.matched = false;
    for (Object &o : objects) o.matched = false;
  }

  // After the first pass: counts what was not matched, and finds the top of
  // each removed subtree with the size of the subtree.
  void CountRemoved(const bool (&compared)[kSectionCount], Counts &counts) {
    if (compared[static_cast<int>(Section::kRegistry)]) {
      for (uint32_t id = 0; id < keys.size(); ++id) {
        if (keys[id].matched) continue;
        ++counts.keysRemoved;
        uint32_t top = TopKey(id);
        ++keys[top].subtreeKeys;
        keys[top].subtreeValues += keys[id].endValue - keys[id].firstValue;
      }
      for (const Value &v : values)
        if (!v.matched) ++counts.valuesRemoved;
    }
    if (compared[static_cast<int>(Section::kFileSystem)]) {
      for (uint32_t id = 0; id < directories.size(); ++id) {
        if (directories[id].matched) continue;
        ++counts.directoriesRemoved;
        Directory &top = directories[TopDirectory(id)];
        ++top.subtreeDirectories;
        for (uint32_t f = directories[id].firstFile; f < directories[id].endFile; ++f) {
          ++top.subtreeFiles;
          uint64_t size = files[f].size;
          top.subtreeBytes =
              top.subtreeBytes > UINT64_MAX - size ? UINT64_MAX : top.subtreeBytes + size;
        }
      }
      for (const File &f : files)
        if (!f.matched) ++counts.filesRemoved;
    }
    if (compared[static_cast<int>(Section::kDatabases)]) {
      for (const Object &o : objects)
        if (!o.matched) ++counts.objectsRemoved;
    }
  }

  std::vector<Key> keys;
  std::vector<Value> values;
  std::vector<Directory> directories;
  std::vector<File> files;
  std::vector<Object> objects;
  NameTable keyTable, valueTable, directoryTable, fileTable, objectTable;

 private:
  // The highest unmatched key on the chain of parents above an unmatched
  // key; the chain is walked once, and every key on it remembers the answer.
  template <class Item>
  static uint32_t Top(std::vector<Item> &items, uint32_t id) {
    uint32_t at = id;
    while (items[at].top == kNone && items[at].parent != kNone && !items[items[at].parent].matched)
      at = items[at].parent;
    uint32_t top = items[at].top != kNone ? items[at].top : at;
    for (uint32_t walk = id; items[walk].top == kNone; walk = items[walk].parent) {
      items[walk].top = top;
      if (walk == at) break;
    }
    return top;
  }
  uint32_t TopKey(uint32_t id) { return Top(keys, id); }
  uint32_t TopDirectory(uint32_t id) { return Top(directories, id); }
};

// ===========================================================================
// Reports
// ===========================================================================

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

// ---------------------------------------------------------------------------
// The JSON report: the summary, then one array of changes, each change an
// object naming its section. Snapshot text is narrow text in the device's
// ANSI code page; it is given out as UTF-8 taken as Windows-1252, the
// device's default code page.
// ---------------------------------------------------------------------------
class JsonReport : public Report {
 public:
  using Report::Report;

  void Begin(const Summary &s) override {
    Put("{\n  \"old\": ");
    String(s.oldPath);
    Put(",\n  \"new\": ");
    String(s.newPath);
    Put(",\n  \"differs\": ");
    Put(s.Differs() ? "true" : "false");
    Put(",\n  \"summary\": {\n    \"differences\": ");
    PutNumber(s.counts.Total());
    const Counts &c = s.counts;
    SectionSummary(s, Section::kRegistry, "registry",
                   {{"keysAdded", c.keysAdded},
                    {"keysRemoved", c.keysRemoved},
                    {"valuesAdded", c.valuesAdded},
                    {"valuesRemoved", c.valuesRemoved},
                    {"valuesChanged", c.valuesChanged}});
    SectionSummary(s, Section::kFileSystem, "fileSystem",
                   {{"directoriesAdded", c.directoriesAdded},
                    {"directoriesRemoved", c.directoriesRemoved},
                    {"filesAdded", c.filesAdded},
                    {"filesRemoved", c.filesRemoved},
                    {"filesChanged", c.filesChanged}});
    Put(", \"crcCompared\": ");
    Put(s.crcCompared ? "true" : "false");
    Put("}");
    SectionSummary(
        s, Section::kDatabases, "databases",
        {{"added", c.objectsAdded}, {"removed", c.objectsRemoved}, {"changed", c.objectsChanged}});
    Put("\n  },\n  \"changes\": [");
  }

  void KeyAdded(const KeyLine &key) override {
    Item("registry", "added", "key");
    KeyFields(key);
    Put("}");
  }
  void KeyRemoved(const Key &key) override {
    Item("registry", "removed", "key");
    KeyFields(key.line);
    Put(", \"subtree\": {\"keys\": ");
    PutNumber(key.subtreeKeys);
    Put(", \"values\": ");
    PutNumber(key.subtreeValues);
    Put("}}");
  }
  void ValueAdded(const KeyLine &key, bool, const ValueLine &value) override {
    ValueItem("added", key, value, nullptr, &value.data);
  }
  void ValueRemoved(const KeyLine &key, const ValueLine &value) override {
    ValueItem("removed", key, value, &value.data, nullptr);
  }
  void ValueChanged(const KeyLine &key, const ValueLine &before, const ValueLine &after) override {
    ValueItem("changed", key, after, &before.data, &after.data);
  }

  void DirectoryAdded(std::string_view path) override {
    Item("fileSystem", "added", "directory");
    Put(", \"path\": ");
    String(path);
    Put("}");
  }
  void DirectoryRemoved(const Directory &d) override {
    Item("fileSystem", "removed", "directory");
    Put(", \"path\": ");
    String(d.path);
    Put(", \"subtree\": {\"directories\": ");
    PutNumber(d.subtreeDirectories);
    Put(", \"files\": ");
    PutNumber(d.subtreeFiles);
    Put(", \"bytes\": ");
    PutNumber(d.subtreeBytes);
    Put("}}");
  }
  void FileAdded(std::string_view directory, bool, const FileLine &file) override {
    FileItem("added", directory, file, nullptr, &file, 0);
  }
  void FileRemoved(std::string_view directory, const FileLine &file) override {
    FileItem("removed", directory, file, &file, nullptr, 0);
  }
  void FileChanged(std::string_view directory, const FileLine &before, const FileLine &after,
                   unsigned what) override {
    FileItem("changed", directory, after, &before, &after, what);
  }

  void ObjectAdded(const DatabaseLine &object) override {
    ObjectItem("added", object, nullptr, &object, 0);
  }
  void ObjectRemoved(const DatabaseLine &object) override {
    ObjectItem("removed", object, &object, nullptr, 0);
  }
  void ObjectChanged(const DatabaseLine &before, const DatabaseLine &after,
                     unsigned what) override {
    ObjectItem("changed", after, &before, &after, what);
  }

  void End() override { Put(items_ ? "\n  ]\n}\n" : "]\n}\n"); }

 private:
  struct Field {
    const char *name;
    uint64_t value;
  };

  void SectionSummary(const Summary &s, Section section, const char *name,
                      std::initializer_list<Field> fields) {
    int i = static_cast<int>(section);
    Put(",\n    \"");
    Put(name);
    Put("\": {\"inOld\": ");
    Put(s.inOld[i] ? "true" : "false");
    Put(", \"inNew\": ");
    Put(s.inNew[i] ? "true" : "false");
    Put(", \"compared\": ");
    Put(s.compared[i] ? "true" : "false");
    for (const Field &f : fields) {
      Put(", \"");
      Put(f.name);
      Put("\": ");
      PutNumber(f.value);
    }
    if (section != Section::kFileSystem) Put("}");
  }

  void Item(const char *section, const char *change, const char *kind) {
    Put(items_++ ? ",\n    {\"section\": \"" : "\n    {\"section\": \"");
    Put(section);
    Put("\", \"change\": \"");
    Put(change);
    Put("\", \"kind\": \"");
    Put(kind);
    Put("\"");
  }

  void KeyFields(const KeyLine &key) {
    Put(", \"root\": ");
    String(kRootNames[key.root]);
    Put(", \"key\": ");
    String(key.path);
  }

  void ValueItem(const char *change, const KeyLine &key, const ValueLine &value,
                 const std::string_view *before, const std::string_view *after) {
    Item("registry", change, "value");
    KeyFields(key);
    Put(", \"name\": ");
    String(Unescape(value.name));
    if (before) {
      Put(", \"old\": ");
      Data(*before);
    }
    if (after) {
      Put(", \"new\": ");
      Data(*after);
    }
    Put("}");
  }

  // dword:XXXXXXXX as a number, "..." as the string it stands for,
  // hex(N):xx,.. as its type and bytes.
  void Data(std::string_view data) {
    if (data.compare(0, 6, "dword:") == 0) {
      Put("{\"type\": \"dword\", \"data\": ");
      PutNumber(std::stoull(std::string(data.substr(6)), nullptr, 16));
    } else if (data[0] == '"') {
      Put("{\"type\": \"string\", \"data\": ");
      String(Unescape(data.substr(1, data.size() - 2)));
    } else {
      size_t colon = data.find(':');
      Put("{\"type\": ");
      String(data.substr(0, colon));
      Put(", \"data\": ");
      String(data.substr(colon + 1));
    }
    Put("}");
  }

  // The list of what changed in a file or database object, when something
  // did. Files list size, crc, time, rom; objects size, records, time.
  void Changed(unsigned what) {
    if (!what) return;
    Put(", \"changed\": [");
    const char *separator = "";
    static const std::pair<unsigned, const char *> kWhat[] = {
        {kSize, "size"}, {kCrc, "crc"}, {kRecords, "records"}, {kTime, "time"}, {kRom, "rom"}};
    for (const auto &w : kWhat) {
      if (!(what & w.first)) continue;
      Put(separator);
      Put('"');
      Put(w.second);
      Put('"');
      separator = ", ";
    }
    Put("]");
  }

  void FileItem(const char *change, std::string_view directory, const FileLine &file,
                const FileLine *before, const FileLine *after, unsigned what) {
    Item("fileSystem", change, "file");
    Put(", \"directory\": ");
    String(directory);
    Put(", \"name\": ");
    String(file.name);
    Changed(what);
    for (const FileLine *f : {before, after}) {
      if (!f) continue;
      Put(f == before ? ", \"old\": {\"time\": " : ", \"new\": {\"time\": ");
      String(f->time);
      Put(", \"rom\": ");
      Put(f->rom ? "true" : "false");
      Put(", \"size\": ");
      PutNumber(f->size);
      if (f->hasCrc) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(f->crc));
        Put(", \"crc\": \"");
        Put(crc);
        Put("\"");
      }
      Put("}");
    }
    Put("}");
  }

  void ObjectItem(const char *change, const DatabaseLine &object, const DatabaseLine *before,
                  const DatabaseLine *after, unsigned what) {
    Item("databases", change,
         object.kind == 'B'   ? "database"
         : object.kind == 'F' ? "file"
                              : "directory");
    Put(", \"name\": ");
    String(object.name);
    Changed(what);
    if (object.kind != 'D') {
      for (const DatabaseLine *d : {before, after}) {
        if (!d) continue;
        Put(d == before ? ", \"old\": {\"time\": " : ", \"new\": {\"time\": ");
        String(d->time);
        Put(", \"size\": ");
        PutNumber(d->size);
        if (d->kind == 'B') {
          Put(", \"records\": ");
          PutNumber(d->records);
        }
        Put("}");
      }
    }
    Put("}");
  }

  // The text of an escaped registry string: \" \\ and \xNN undone.
  static std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '\\' || i + 1 >= s.size()) {
        out.push_back(s[i]);
      } else if (s[i + 1] == 'x' && i + 3 < s.size()) {
        out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16)));
        i += 3;
      } else {
        out.push_back(s[++i]);
      }
    }
    return out;
  }

  void String(std::string_view s) {
    Put('"');
    for (char ch : s) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\') {
        Put('\\');
        Put(ch);
      } else if (c < 0x20 || c == 0x7F) {
        char escape[7];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        Put(escape);
      } else if (c < 0x80) {
        Put(ch);
      } else {
        utf8_.clear();
        AppendUtf8From1252(utf8_, c);
        Put(utf8_);
      }
    }
    Put('"');
  }

  uint64_t items_ = 0;
  std::string utf8_;
};

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
    chosen = std::make_unique<JsonReport>(out);
  else if (format == Format::kHtml)
    chosen = NewHtmlReport(out);
  else
    chosen = std::make_unique<TextReport>(out);
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
