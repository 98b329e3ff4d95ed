// registry.cpp - the device registry: RegOpenKeyExW, RegEnumValueW,
// RegEnumKeyExW, RegQueryValueExW, RegCloseKey.
//
// The registry is read from the device folder once, when it is first
// needed, through the device's registry source (regtree.h: registry.reg,
// read by regfile.cpp), and never written. A missing file is an
// empty registry; a file that cannot be read, or is not a regular file, is
// said once on standard error and is an empty registry too.
//
// Handles: the four root constants are the only roots; every opened key is
// an object of this file, kept in a table so that a stale or made-up handle
// is refused with ERROR_INVALID_HANDLE instead of being followed.
//
// Capacities, as the device reports them: names in characters, data in
// bytes. On success the name capacity becomes the name's length (without
// its terminator) and the data capacity the data's size. When the name or
// the data does not fit, the result is ERROR_MORE_DATA, nothing is copied,
// and the capacities become what is needed (the name's length plus its
// terminator, the data's size), so a caller can read the value again.
#include <unordered_set>

#include "internal.h"
#include "regtree.h"

namespace {

using host::reg::KeyId;
using host::reg::kNoKey;
using host::reg::Tree;
using host::reg::ValueView;

struct KeyHandle {
  KeyId key;
};

struct RegistryState {
  std::unordered_set<KeyHandle *> handles;  // every open key
};

RegistryState &State() {
  static RegistryState state;
  return state;
}

host::DeviceFile<Tree> &RegistryFile() {
  static const host::reg::Source &source = host::reg::DeviceRegistrySource();
  static host::DeviceFile<Tree> file(source.fileName, source.load);
  return file;
}

Tree &Registry() {
  static bool registered = false;
  if (!registered) {
    registered = true;
    host::OnDeviceReset(host::reg::ForgetRegistry);
  }
  return RegistryFile().Get();
}

// The key behind a handle, or kNoKey when the handle is neither a root nor
// an open key.
KeyId KeyOf(HKEY handle) {
  if (handle == HKEY_CLASSES_ROOT) return host::reg::kClassesRoot;
  if (handle == HKEY_CURRENT_USER) return host::reg::kCurrentUser;
  if (handle == HKEY_LOCAL_MACHINE) return host::reg::kLocalMachine;
  if (handle == HKEY_USERS) return host::reg::kUsers;
  auto *object = reinterpret_cast<KeyHandle *>(handle);
  return State().handles.count(object) ? object->key : kNoKey;
}

std::u16string Units(LPCWSTR text) {
  std::u16string out;
  if (text)
    for (; *text; ++text) out += static_cast<char16_t>(*text);
  return out;
}

// Copies a name out as the device does (see the top of the file). Returns
// ERROR_MORE_DATA when it does not fit.
LONG PutName(std::u16string_view name, LPWSTR out, LPDWORD chars) {
  if (name.size() + 1 > *chars) {
    *chars = static_cast<DWORD>(name.size() + 1);
    return ERROR_MORE_DATA;
  }
  for (size_t i = 0; i < name.size(); ++i) out[i] = static_cast<WCHAR>(name[i]);
  out[name.size()] = 0;
  *chars = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Type, size and bytes of a value. `data` may be null (a size query); a
// `data` without `bytes` is refused.
LONG PutData(const ValueView &value, LPDWORD type, LPBYTE data, LPDWORD bytes) {
  if (data && !bytes) return ERROR_INVALID_PARAMETER;
  if (type) *type = value.type;
  if (!bytes) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(value.size);
  bool fits = !data || size <= *bytes;
  *bytes = size;
  if (!fits) return ERROR_MORE_DATA;
  if (data && size) std::memcpy(data, value.data, size);
  return ERROR_SUCCESS;
}

}  // namespace

void host::reg::ForgetRegistry() {
  RegistryState &state = State();
  for (KeyHandle *handle : state.handles) delete handle;
  state.handles.clear();
  RegistryFile().Forget();
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM /*desired*/, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Tree &tree = Registry();
  KeyId at = KeyOf(key);
  if (at == kNoKey) return ERROR_INVALID_HANDLE;
  // Path components are separated by backslashes; empty ones are passed
  // over, so "A\" and "A" name the same key.
  std::u16string path = Units(subKey);
  size_t start = 0;
  while (at != kNoKey && start <= path.size()) {
    size_t slash = path.find(u'\\', start);
    if (slash == std::u16string::npos) slash = path.size();
    if (slash > start) at = tree.Child(at, std::u16string_view(path).substr(start, slash - start));
    start = slash + 1;
  }
  if (at == kNoKey) return ERROR_FILE_NOT_FOUND;
  auto *handle = new KeyHandle{at};
  State().handles.insert(handle);
  *result = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
      key == HKEY_USERS)
    return ERROR_SUCCESS;
  auto *object = reinterpret_cast<KeyHandle *>(key);
  if (!State().handles.erase(object)) return ERROR_INVALID_HANDLE;
  delete object;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                   LPWSTR className, LPDWORD classChars, LPFILETIME lastWriteTime) {
  Tree &tree = Registry();
  KeyId at = KeyOf(key);
  if (at == kNoKey) return ERROR_INVALID_HANDLE;
  if (!name || !nameChars || reserved) return ERROR_INVALID_PARAMETER;
  if (index >= tree.SubkeyCount(at)) return ERROR_NO_MORE_ITEMS;
  LONG result = PutName(tree.KeyName(tree.Subkey(at, index)), name, nameChars);
  if (result != ERROR_SUCCESS) return result;
  // Keys have no class and no recorded write time here.
  if (classChars) {
    if (className && *classChars) className[0] = 0;
    *classChars = 0;
  }
  if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameChars,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  if (DWORD fault = host::FaultHit(host::Fault::kRegEnumValueW)) return static_cast<LONG>(fault);
  Tree &tree = Registry();
  KeyId at = KeyOf(key);
  if (at == kNoKey) return ERROR_INVALID_HANDLE;
  if (!valueName || !valueNameChars || reserved || (data && !dataBytes))
    return ERROR_INVALID_PARAMETER;
  if (index >= tree.ValueCount(at)) return ERROR_NO_MORE_ITEMS;
  ValueView value = tree.Value(at, index);
  DWORD nameCapacity = *valueNameChars;
  DWORD dataCapacity = dataBytes ? *dataBytes : 0;
  bool nameFits = value.name.size() + 1 <= nameCapacity;
  bool dataFits = !data || value.size <= dataCapacity;
  if (!nameFits || !dataFits) {
    // Both capacities tell what is needed, so one more call reads it all.
    *valueNameChars = static_cast<DWORD>(value.name.size() + 1);
    PutData(value, type, nullptr, dataBytes);
    return ERROR_MORE_DATA;
  }
  PutName(value.name, valueName, valueNameChars);
  return PutData(value, type, data, dataBytes);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataBytes) {
  Tree &tree = Registry();
  KeyId at = KeyOf(key);
  if (at == kNoKey) return ERROR_INVALID_HANDLE;
  if (reserved || (data && !dataBytes)) return ERROR_INVALID_PARAMETER;
  ValueView value;
  if (!tree.FindValue(at, Units(valueName), &value)) return ERROR_FILE_NOT_FOUND;
  return PutData(value, type, data, dataBytes);
}
