// resources.cpp - the program's resources: the compiled resource script
// embedded in the executable, searched as the device searches a module.
//
// The embedded data is a .res file: a sequence of entries, each a header
// (data size, header size, type and name as ordinals or strings, data
// version, flags, language, version, characteristics) followed by the data,
// both aligned to four bytes.
#include <vector>

#include "internal.h"

extern const unsigned char g_tovikResources[];
extern const size_t g_tovikResourcesSize;

namespace {

struct Entry {
  bool typeIsId;
  WORD typeId;
  std::wstring typeName;
  bool nameIsId;
  WORD nameId;
  std::wstring name;
  const unsigned char *data;
  DWORD size;
};

// The module instance is the address of this marker.
char g_module;

DWORD Read32(const unsigned char *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24);
}
WORD Read16(const unsigned char *p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// Reads an ordinal-or-string field at *p; advances *p past it.
bool ReadNameField(const unsigned char *&p, const unsigned char *end, bool *isId, WORD *id,
                   std::wstring *name) {
  if (p + 2 > end) return false;
  if (Read16(p) == 0xFFFF) {
    if (p + 4 > end) return false;
    *isId = true;
    *id = Read16(p + 2);
    p += 4;
    return true;
  }
  *isId = false;
  name->clear();
  while (p + 2 <= end) {
    WORD c = Read16(p);
    p += 2;
    if (c == 0) return true;
    name->push_back(static_cast<WCHAR>(c));
  }
  return false;
}

const std::vector<Entry> &Entries() {
  static std::vector<Entry> entries = [] {
    std::vector<Entry> list;
    const unsigned char *p = g_tovikResources;
    const unsigned char *end = g_tovikResources + g_tovikResourcesSize;
    while (p + 8 <= end) {
      DWORD dataSize = Read32(p);
      DWORD headerSize = Read32(p + 4);
      if (headerSize < 8 || p + headerSize > end || dataSize > size_t(end - p - headerSize)) break;
      const unsigned char *q = p + 8;
      Entry entry{};
      if (!ReadNameField(q, p + headerSize, &entry.typeIsId, &entry.typeId, &entry.typeName) ||
          !ReadNameField(q, p + headerSize, &entry.nameIsId, &entry.nameId, &entry.name))
        break;
      entry.data = p + headerSize;
      entry.size = dataSize;
      // The first entry of a .res file is an empty marker entry.
      if (!(entry.typeIsId && entry.typeId == 0)) list.push_back(entry);
      size_t step = headerSize + ((dataSize + 3) & ~3u);
      p += step;
    }
    return list;
  }();
  return entries;
}

bool Matches(bool isId, WORD id, const std::wstring &name, LPCWSTR wanted) {
  if (IS_INTRESOURCE(wanted))
    return isId && id == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(wanted));
  if (isId) return false;
  std::wstring upper(wanted);
  std::wstring mine = name;
  for (auto &c : upper) c = host::UpperChar(c);
  for (auto &c : mine) c = host::UpperChar(c);
  return upper == mine;
}

}  // namespace

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(&g_module);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (module && module != reinterpret_cast<HMODULE>(&g_module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool typeSeen = false;
  for (const Entry &entry : Entries()) {
    if (!Matches(entry.typeIsId, entry.typeId, entry.typeName, type)) continue;
    typeSeen = true;
    if (Matches(entry.nameIsId, entry.nameId, entry.name, name))
      return reinterpret_cast<HRSRC>(const_cast<Entry *>(&entry));
  }
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE /*module*/, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<unsigned char *>(reinterpret_cast<const Entry *>(resource)->data);
}

LPVOID LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD SizeofResource(HMODULE /*module*/, HRSRC resource) {
  return resource ? reinterpret_cast<const Entry *>(resource)->size : 0;
}
