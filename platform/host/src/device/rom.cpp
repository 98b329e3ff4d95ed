// rom.cpp - the files that lie in the device's ROM, from rom.txt of the
// device folder.
//
// rom.txt holds one device path a line (UTF-8, like the host's file names),
// optionally followed by a tab and attribute names separated by spaces,
// tabs or commas: INROM, ROMMODULE, ROMSTATICREF. A line that names none
// means INROM. Blank lines and lines whose first character other than a
// space is '#' are ignored. A line naming the same file again adds its bits.
// Malformed lines (an unknown name, an empty or overlong path, a "." or ".."
// component) are reported and skipped.
#include <unordered_map>

#include "internal.h"

namespace host {
namespace {

// The files named, by the path's RomKey, with their attribute bits.
using RomList = std::unordered_map<std::wstring, DWORD>;

// The form a device path is compared in: upper case, '\' as the only
// separator, one leading '\', no empty components. False for a path with a
// "." or ".." component.
bool RomKey(const std::wstring &path, std::wstring *key) {
  key->clear();
  std::wstring part;
  for (size_t i = 0; i <= path.size(); ++i) {
    WCHAR c = i < path.size() ? path[i] : L'\\';
    if (c == L'\\' || c == L'/') {
      if (part == L"." || part == L"..") return false;
      if (!part.empty()) *key += L'\\' + part;
      part.clear();
    } else {
      part += UpperChar(c);
    }
  }
  return true;
}

DWORD AttributeNamed(const std::string &name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "INROM") return FILE_ATTRIBUTE_INROM;
  if (upper == "ROMMODULE") return FILE_ATTRIBUTE_ROMMODULE;
  if (upper == "ROMSTATICREF") return FILE_ATTRIBUTE_ROMSTATICREF;
  return 0;
}

void LoadRomList(DeviceText *text, RomList *files) {
  if (!text) return;
  DeviceLines lines(text->bytes);
  std::string_view view;
  while (lines.Next(&view)) {
    int number = lines.number();
    std::string line(view);
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '#') continue;

    size_t tab = line.find('\t');
    std::string path = line.substr(0, tab);
    while (!path.empty() && path.back() == ' ') path.pop_back();
    DWORD bits = 0;
    bool bad = false;
    if (tab != std::string::npos) {
      std::string names = line.substr(tab + 1);
      size_t at = 0;
      while (!bad && at < names.size()) {
        size_t start = names.find_first_not_of(" \t,", at);
        if (start == std::string::npos) break;
        size_t end = names.find_first_of(" \t,", start);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(start, end - start);
        DWORD bit = AttributeNamed(name);
        if (!bit) {
          ReportMalformed(text->name, number, "unknown attribute \"" + name + "\"");
          bad = true;
        }
        bits |= bit;
        at = end;
      }
    }
    if (bad) continue;
    if (!bits) bits = FILE_ATTRIBUTE_INROM;

    std::wstring key;
    std::wstring wide = HostNameToWide(path);
    if (wide.size() >= MAX_PATH) {
      ReportMalformed(text->name, number, "path longer than the device allows");
      continue;
    }
    if (!RomKey(wide, &key)) {
      ReportMalformed(text->name, number, "\".\" or \"..\" in the path");
      continue;
    }
    if (key.empty()) {
      ReportMalformed(text->name, number, "no file named");
      continue;
    }
    (*files)[key] |= bits;
  }
}

RomList &ReadList() {
  static DeviceFile<RomList> file("rom.txt", LoadRomList);
  return file.Get();
}

}  // namespace

DWORD RomAttributes(const std::wstring &devicePath) {
  RomList &files = ReadList();
  if (files.empty()) return 0;
  std::wstring key;
  if (!RomKey(devicePath, &key)) return 0;
  auto it = files.find(key);
  return it == files.end() ? 0 : it->second;
}

bool RomListEmpty() { return ReadList().empty(); }

}  // namespace host
