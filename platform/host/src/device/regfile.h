// regfile.h - the device registry as a tree in memory, and the reader that
// builds it from a registry editor export file (registry.reg).
//
// Names and string data are kept as the device keeps them: UTF-16 code
// units. Value data are the device's bytes (REG_SZ and friends UTF-16LE,
// REG_DWORD four little-endian bytes), whatever the size of WCHAR here.
#ifndef TOVIK_PLATFORM_REGFILE_H
#define TOVIK_PLATFORM_REGFILE_H

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "internal.h"

namespace host {
namespace reg {

struct Value {
  std::u16string name;     // as first defined ("" for the default value)
  DWORD type = REG_NONE;   // any type number, as written in the file
  std::vector<BYTE> data;  // the device's bytes
  bool deleted = false;    // removed while loading; dropped by Finish
};

struct Key {
  std::u16string name;  // as first written
  // Subkeys by their upper-cased name: lookups, and the case-insensitive
  // order in which they enumerate.
  std::map<std::u16string, Key *> byName;
  // The same subkeys in that order, for enumeration by index (Finish).
  std::vector<Key *> subkeys;
  // Values in the order they were first defined.
  std::vector<Value> values;
  // Upper-cased value name -> index in `values`; built only for keys with
  // many values, so small keys cost no table.
  std::unique_ptr<std::unordered_map<std::u16string, size_t>> valueIndex;
};

// The four roots, in the order of their handle values.
enum Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };

class Tree {
 public:
  Tree();
  Key *root(int which) { return &keys_[static_cast<size_t>(which)]; }

  // The subkey `name` of `parent` (nullptr when there is none).
  static Key *Child(const Key *parent, const std::u16string &name);
  // The subkey `name` of `parent`, made when missing.
  Key *MakeChild(Key *parent, const std::u16string &name);
  // Removes the subkey `name` and everything below it; false when missing.
  static bool RemoveChild(Key *parent, const std::u16string &name);

  // The live value `name` of `key` (any case), or nullptr.
  static Value *FindValue(Key *key, const std::u16string &name);
  // Sets a value: an existing one keeps its place and first-written name.
  static void SetValue(Key *key, const std::u16string &name, DWORD type, std::vector<BYTE> data);
  static void DeleteValue(Key *key, const std::u16string &name);

  // Ends loading: fills the enumeration orders and drops deleted values.
  void Finish();

 private:
  // Every key ever made, roots first. Keys are never freed one by one, so
  // removing a subtree - however deep - needs no recursion.
  std::deque<Key> keys_;
};

// The device's upper case of a name, unit by unit.
std::u16string Upper(const std::u16string &name);

// Reads an export file into `tree`: the text the device folder's reader
// gave (whose bytes are let go once read), or the file's bytes as they are
// (its byte order mark included). Malformed lines are reported through
// ReportMalformed under the file's name and skipped.
void ParseRegFile(DeviceText *file, Tree *tree);
void ParseRegFile(const std::string &bytes, Tree *tree, const std::string &fileName);

// Forgets the registry read from the device folder and every open key, so
// that the next call reads registry.reg again (registry.cpp).
void ForgetRegistry();

}  // namespace reg
}  // namespace host

#endif  // TOVIK_PLATFORM_REGFILE_H
