// index.h - the old snapshot, read whole and indexed: its keys, values,
// directories, files and database objects in file order, and a name table
// per kind of item that the comparison (diff.cpp) matches the new
// snapshot's items against.
#ifndef TOVIK_DIFF_INDEX_H
#define TOVIK_DIFF_INDEX_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "report.h"
#include "snapshot.h"

namespace tovik_diff {

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

}  // namespace tovik_diff

#endif  // TOVIK_DIFF_INDEX_H
