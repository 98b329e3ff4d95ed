// regtree.h - the device registry as a tree in memory, and the seam through
// which it is loaded.
//
// Names are kept as the device keeps them: UTF-16 code units. Value data
// are the device's bytes (REG_SZ and friends UTF-16LE, REG_DWORD four
// little-endian bytes), whatever the size of WCHAR here.
//
// The tree is compact: keys and values are records in two vectors, named by
// their index; names and data lie in two arenas, so a value costs no
// allocation of its own. Lookups by name (any case) go through hash tables
// of the records' indices.
#ifndef TOVIK_PLATFORM_REGTREE_H
#define TOVIK_PLATFORM_REGTREE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "internal.h"

namespace host {
namespace reg {

// A key of the tree, by its index.
using KeyId = uint32_t;
constexpr KeyId kNoKey = 0xFFFFFFFFu;

// The four roots, in the order of their handle values; a root's KeyId is
// its Root.
enum Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };

// A value as enumeration shows it.
struct ValueView {
  std::u16string_view name;  // as first defined ("" for the default value)
  DWORD type = REG_NONE;     // any type number, as written in the file
  const BYTE *data = nullptr;
  size_t size = 0;  // bytes of data
};

class Tree {
 public:
  Tree();

  // --- Building (before Finish) -------------------------------------------
  // The subkey `name` of `parent` (kNoKey when there is none; any case).
  KeyId Child(KeyId parent, std::u16string_view name) const;
  // The subkey `name` of `parent`, made when missing (kNoKey when the tree
  // cannot grow further).
  KeyId MakeChild(KeyId parent, std::u16string_view name);
  // Removes the subkey `name` and everything below it; false when missing.
  bool RemoveChild(KeyId parent, std::u16string_view name);
  // Sets a value: an existing one keeps its place and first-written name.
  void SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE *data, size_t size);
  void DeleteValue(KeyId key, std::u16string_view name);
  // Makes room for the tree read from a source of about this many bytes.
  void Reserve(size_t sourceBytes);
  // Ends building: fills the enumeration orders.
  void Finish();

  // --- Reading (after Finish) ---------------------------------------------
  // Subkeys in case-insensitive order of their names.
  size_t SubkeyCount(KeyId key) const { return keys_[key].childCount; }
  KeyId Subkey(KeyId key, size_t index) const { return childOrder_[keys_[key].firstChild + index]; }
  std::u16string_view KeyName(KeyId key) const {
    return {names_.data() + keys_[key].nameAt, keys_[key].nameSize};
  }
  // Values in the order they were first defined.
  size_t ValueCount(KeyId key) const { return keys_[key].valueCount; }
  ValueView Value(KeyId key, size_t index) const {
    return View(valueOrder_[keys_[key].firstValue + index]);
  }
  // The value `name` of `key` (any case); false when there is none.
  bool FindValue(KeyId key, std::u16string_view name, ValueView *out) const;

 private:
  struct KeyRecord {
    uint32_t nameAt = 0;  // in names_
    uint32_t nameSize = 0;
    KeyId parent = kNoKey;
    uint32_t hash = 0;  // of the parent and the upper-cased name
    bool removed = false;
    bool indexed = false;  // its values are in valueIndex_ (many values)
    // While building: the first and last of the key's values (a chain
    // through ValueRecord::next), and how many were made. After Finish:
    // where the key's live values start in valueOrder_, and how many
    // there are.
    uint32_t firstValue = kNone;
    uint32_t lastValue = kNone;
    uint32_t valueCount = 0;
    uint32_t firstChild = 0;  // in childOrder_ (Finish)
    uint32_t childCount = 0;
  };
  struct ValueRecord {
    uint32_t at = 0;  // in bytes_: the name's units, then the data
    uint32_t nameSize = 0;
    uint32_t size = 0;
    DWORD type = REG_NONE;
    KeyId key = kNoKey;
    uint32_t next = kNone;  // the key's next value
    bool deleted = false;   // removed while building
  };
  static constexpr uint32_t kNone = 0xFFFFFFFFu;

  std::u16string_view ValueName(const ValueRecord &value) const;
  ValueView View(uint32_t value) const;
  uint32_t FindValueIndex(KeyId key, std::u16string_view name) const;

  std::vector<KeyRecord> keys_;      // roots first
  std::vector<ValueRecord> values_;  // in the order they were set
  std::vector<char16_t> names_;      // key names
  std::vector<BYTE> bytes_;          // value names and data
  // Open addressing of record indices by the hash of their owner and
  // upper-cased name; kNone marks a free slot. Values are in it only for
  // keys with many: a few are found faster by a scan.
  std::vector<uint32_t> keyIndex_;
  std::vector<uint32_t> valueIndex_;
  size_t valuesIndexed_ = 0;
  bool finished_ = false;
  std::vector<KeyId> childOrder_;
  std::vector<uint32_t> valueOrder_;
};

// A source the device registry is loaded from: the device folder's file it
// reads, and the function that fills a tree from that file's text (called
// with nullptr when the folder has no such file; it ends with Finish).
struct Source {
  const char *fileName;
  void (*load)(DeviceText *text, Tree *tree);
};

// The source of the device registry (regsource.cpp): the registry calls it
// once per device. Loading from elsewhere is a new file with its Source
// and this one function pointing at it.
const Source &DeviceRegistrySource();

// Forgets the registry read from the device folder and every open key, so
// that the next call reads the device's source again (registry.cpp).
void ForgetRegistry();

}  // namespace reg
}  // namespace host

#endif  // TOVIK_PLATFORM_REGTREE_H
