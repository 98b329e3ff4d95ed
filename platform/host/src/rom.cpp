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
#include <fstream>
#include <unordered_map>

#include "internal.h"

namespace host {
namespace {

struct RomList {
  bool read = false;
  std::unordered_map<std::wstring, DWORD> files;  // key: the path's RomKey
};

RomList &List() {
  static RomList list;
  static bool registered = false;
  if (!registered) {
    registered = true;
    OnDeviceReset([] { List() = RomList(); });
  }
  return list;
}

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

void ReadRomList(RomList &list) {
  list.read = true;
  std::ifstream in(DeviceFolder() + "/rom.txt", std::ios::binary);
  if (!in) return;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
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
          ReportMalformed("rom.txt", number, "unknown attribute \"" + name + "\"");
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
      ReportMalformed("rom.txt", number, "path longer than the device allows");
      continue;
    }
    if (!RomKey(wide, &key)) {
      ReportMalformed("rom.txt", number, "\".\" or \"..\" in the path");
      continue;
    }
    if (key.empty()) {
      ReportMalformed("rom.txt", number, "no file named");
      continue;
    }
    list.files[key] |= bits;
  }
}

RomList &ReadList() {
  RomList &list = List();
  if (!list.read) ReadRomList(list);
  return list;
}

}  // namespace

DWORD RomAttributes(const std::wstring &devicePath) {
  RomList &list = ReadList();
  if (list.files.empty()) return 0;
  std::wstring key;
  if (!RomKey(devicePath, &key)) return 0;
  auto it = list.files.find(key);
  return it == list.files.end() ? 0 : it->second;
}

bool RomListEmpty() { return ReadList().files.empty(); }

}  // namespace host
