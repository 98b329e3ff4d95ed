// regtree.cpp - the registry tree (regtree.h).
#include "regtree.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace host {
namespace reg {

namespace {

char16_t Up(char16_t c) { return static_cast<char16_t>(UpperChar(static_cast<WCHAR>(c))); }

// FNV-1a over the owner and the upper-cased name.
uint32_t HashOf(uint32_t owner, std::u16string_view name) {
  uint32_t hash = (2166136261u ^ owner) * 16777619u;
  for (char16_t c : name) hash = (hash ^ Up(c)) * 16777619u;
  return hash ^ (hash >> 15);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && Up(a[i]) != Up(b[i])) return false;
  return true;
}

bool NameBefore(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Up(a[i]);
    char16_t y = Up(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

constexpr uint32_t kFree = 0xFFFFFFFFu;

// Keys with fewer values than this are searched by a scan of their values.
constexpr uint32_t kIndexFrom = 16;

// The first slot of `hash` in a table of power-of-two size, and the next.
size_t FirstSlot(const std::vector<uint32_t> &slots, uint32_t hash) {
  return hash & (slots.size() - 1);
}
size_t NextSlot(const std::vector<uint32_t> &slots, size_t at) {
  return (at + 1) & (slots.size() - 1);
}

// The first id of the table `slots` filed under `hash` that `matches`
// takes, or kFree.
template <class Matches>
uint32_t Find(const std::vector<uint32_t> &slots, uint32_t hash, Matches matches) {
  if (slots.empty()) return kFree;
  for (size_t at = FirstSlot(slots, hash); slots[at] != kFree; at = NextSlot(slots, at))
    if (matches(slots[at])) return slots[at];
  return kFree;
}

// Adds `id` to the table `slots` holding `count` ids (the new one
// included), doubling it when half full; `hashOf` gives an id's hash.
template <class HashOf>
void Insert(std::vector<uint32_t> *slots, size_t count, uint32_t id, HashOf hashOf) {
  if (count * 2 > slots->size()) {
    std::vector<uint32_t> old;
    old.swap(*slots);
    slots->assign(std::max<size_t>(64, old.size() * 2), kFree);
    for (uint32_t kept : old)
      if (kept != kFree) Insert(slots, 0, kept, hashOf);
  }
  size_t at = FirstSlot(*slots, hashOf(id));
  while ((*slots)[at] != kFree) at = NextSlot(*slots, at);
  (*slots)[at] = id;
}

}  // namespace

Tree::Tree() {
  keys_.resize(kRootCount);
  for (KeyId root = 0; root < kRootCount; ++root) keys_[root].hash = HashOf(kNoKey, u"");
}

KeyId Tree::Child(KeyId parent, std::u16string_view name) const {
  uint32_t hash = HashOf(parent, name);
  return Find(keyIndex_, hash, [&](KeyId id) {
    const KeyRecord &key = keys_[id];
    return key.hash == hash && key.parent == parent && !key.removed &&
           SameName({names_.data() + key.nameAt, key.nameSize}, name);
  });
}

KeyId Tree::MakeChild(KeyId parent, std::u16string_view name) {
  if (parent == kNoKey) return kNoKey;
  KeyId found = Child(parent, name);
  if (found != kNoKey) return found;
  if (keys_.size() >= kNone - 1 || names_.size() + name.size() >= kNone) return kNoKey;
  KeyRecord key;
  key.nameAt = static_cast<uint32_t>(names_.size());
  key.nameSize = static_cast<uint32_t>(name.size());
  key.parent = parent;
  key.hash = HashOf(parent, name);
  names_.insert(names_.end(), name.begin(), name.end());
  KeyId id = static_cast<KeyId>(keys_.size());
  keys_.push_back(key);
  Insert(&keyIndex_, keys_.size() - kRootCount, id, [this](uint32_t k) { return keys_[k].hash; });
  return id;
}

bool Tree::RemoveChild(KeyId parent, std::u16string_view name) {
  KeyId child = Child(parent, name);
  if (child == kNoKey) return false;
  // The key stays in the tables, passed over by lookups: what lies below
  // it can no longer be reached, however deep.
  keys_[child].removed = true;
  return true;
}

std::u16string_view Tree::ValueName(const ValueRecord &value) const {
  return {reinterpret_cast<const char16_t *>(bytes_.data() + value.at), value.nameSize};
}

ValueView Tree::View(uint32_t index) const {
  const ValueRecord &value = values_[index];
  ValueView view;
  view.name = ValueName(value);
  view.type = value.type;
  view.data = bytes_.data() + value.at + value.nameSize * sizeof(char16_t);
  view.size = value.size;
  return view;
}

uint32_t Tree::FindValueIndex(KeyId key, std::u16string_view name) const {
  const KeyRecord &owner = keys_[key];
  if (!owner.indexed) {
    auto matches = [&](uint32_t id) {
      return !values_[id].deleted && SameName(ValueName(values_[id]), name);
    };
    if (finished_) {
      for (uint32_t i = 0; i < owner.valueCount; ++i)
        if (matches(valueOrder_[owner.firstValue + i])) return valueOrder_[owner.firstValue + i];
    } else {
      for (uint32_t id = owner.firstValue; id != kNone; id = values_[id].next)
        if (matches(id)) return id;
    }
    return kNone;
  }
  return Find(valueIndex_, HashOf(key, name), [&](uint32_t id) {
    const ValueRecord &value = values_[id];
    return value.key == key && !value.deleted && SameName(ValueName(value), name);
  });
}

bool Tree::FindValue(KeyId key, std::u16string_view name, ValueView *out) const {
  uint32_t index = FindValueIndex(key, name);
  if (index == kNone) return false;
  *out = View(index);
  return true;
}

void Tree::SetValue(KeyId key, std::u16string_view name, DWORD type, const BYTE *data,
                    size_t size) {
  if (key == kNoKey) return;
  // An existing value takes the new data and keeps its first-written name.
  uint32_t existing = FindValueIndex(key, name);
  size_t nameUnits = existing != kNone ? values_[existing].nameSize : name.size();
  // Names are stored at an even offset so that their units can be read in
  // place.
  size_t at = (bytes_.size() + 1) & ~size_t{1};
  size_t nameBytes = nameUnits * sizeof(char16_t);
  if (at + nameBytes + size >= kNone || values_.size() >= kNone - 1) return;  // no room left
  bytes_.resize(at);
  if (existing != kNone) {
    // Copied by offset: the arena may move as it grows.
    bytes_.resize(at + nameBytes);
    std::memcpy(bytes_.data() + at, bytes_.data() + values_[existing].at, nameBytes);
  } else {
    const BYTE *units = reinterpret_cast<const BYTE *>(name.data());
    bytes_.insert(bytes_.end(), units, units + nameBytes);
  }
  bytes_.insert(bytes_.end(), data, data + size);
  if (existing != kNone) {
    ValueRecord &value = values_[existing];
    value.at = static_cast<uint32_t>(at);
    value.type = type;
    value.size = static_cast<uint32_t>(size);
    return;
  }
  ValueRecord value;
  value.at = static_cast<uint32_t>(at);
  value.nameSize = static_cast<uint32_t>(name.size());
  value.size = static_cast<uint32_t>(size);
  value.type = type;
  value.key = key;
  uint32_t id = static_cast<uint32_t>(values_.size());
  values_.push_back(value);
  KeyRecord &owner = keys_[key];
  if (owner.lastValue == kNone)
    owner.firstValue = id;
  else
    values_[owner.lastValue].next = id;
  owner.lastValue = id;
  ++owner.valueCount;
  auto hashOf = [this](uint32_t v) { return HashOf(values_[v].key, ValueName(values_[v])); };
  if (owner.indexed) {
    Insert(&valueIndex_, ++valuesIndexed_, id, hashOf);
  } else if (owner.valueCount >= kIndexFrom) {
    owner.indexed = true;
    for (uint32_t v = owner.firstValue; v != kNone; v = values_[v].next)
      Insert(&valueIndex_, ++valuesIndexed_, v, hashOf);
  }
}

void Tree::Reserve(size_t sourceBytes) {
  // Reserved room that is never used is never touched either: it costs
  // address space, not memory. What it spares is the copying, and the
  // old and new blocks side by side, of each growth.
  // Where the host refuses that much address space, the vectors grow as
  // they go instead.
  try {
    bytes_.reserve(sourceBytes);
    values_.reserve(sourceBytes / 16);
  } catch (const std::bad_alloc &) {
  }
}

void Tree::DeleteValue(KeyId key, std::u16string_view name) {
  if (key == kNoKey) return;
  uint32_t index = FindValueIndex(key, name);
  if (index != kNone) values_[index].deleted = true;
}

void Tree::Finish() {
  if (finished_) return;
  finished_ = true;
  // Values: each key's live ones, in the order first defined, side by side.
  valueOrder_.clear();
  valueOrder_.reserve(values_.size());
  for (KeyRecord &key : keys_) {
    uint32_t first = static_cast<uint32_t>(valueOrder_.size());
    for (uint32_t v = key.firstValue; v != kNone; v = values_[v].next)
      if (!values_[v].deleted) valueOrder_.push_back(v);
    key.firstValue = first;
    key.valueCount = static_cast<uint32_t>(valueOrder_.size()) - first;
  }
  // Subkeys: counted per parent, placed, then each parent's sorted.
  for (KeyRecord &key : keys_) key.childCount = 0;
  for (const KeyRecord &key : keys_)
    if (key.parent != kNoKey && !key.removed) ++keys_[key.parent].childCount;
  uint32_t next = 0;
  for (KeyRecord &key : keys_) {
    key.firstChild = next;
    next += key.childCount;
    key.childCount = 0;
  }
  childOrder_.assign(next, kNoKey);
  for (KeyId id = 0; id < keys_.size(); ++id) {
    const KeyRecord &key = keys_[id];
    if (key.parent == kNoKey || key.removed) continue;
    KeyRecord &parent = keys_[key.parent];
    childOrder_[parent.firstChild + parent.childCount++] = id;
  }
  for (const KeyRecord &key : keys_) {
    auto begin = childOrder_.begin() + key.firstChild;
    std::sort(begin, begin + key.childCount,
              [this](KeyId a, KeyId b) { return NameBefore(KeyName(a), KeyName(b)); });
  }
}

}  // namespace reg
}  // namespace host
