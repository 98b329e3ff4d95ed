// device.cpp - the device folder: where it is, its properties, and how a
// device path becomes a host path.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "internal.h"

namespace host {
namespace {

struct DeviceState {
  bool located = false;
  std::string folder;
  std::string root;  // folder + "/root"
};

DeviceState &State() {
  static DeviceState state;
  return state;
}

std::vector<std::function<void()>> &ResetHooks() {
  static std::vector<std::function<void()>> hooks;
  return hooks;
}

void MakeFolder(const std::string &path) { ::mkdir(path.c_str(), 0777); }

bool IsFolder(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The per-user default device: ${XDG_DATA_HOME:-~/.local/share}/tovik/device.
std::string DefaultDeviceFolder() {
  std::string base;
  const char *xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char *home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local";
    MakeFolder(base);
    base += "/share";
  }
  MakeFolder(base);
  MakeFolder(base + "/tovik");
  return base + "/tovik/device";
}

using Properties = std::map<std::string, std::string>;

// device.ini: name=value lines; '#', ';' and '[' start lines that are
// passed over. Names are taken in lower case.
void LoadProperties(DeviceText *text, Properties *properties) {
  if (!text) return;
  DeviceLines lines(text->bytes);
  std::string_view view;
  while (lines.Next(&view)) {
    std::string line(view);
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#' || line[start] == ';' ||
        line[start] == '[')
      continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      ReportMalformed(text->name, lines.number(), "expected name=value");
      continue;
    }
    std::string name = line.substr(start, eq - start);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    std::string value = line.substr(eq + 1);
    size_t vstart = value.find_first_not_of(" \t");
    value = vstart == std::string::npos ? "" : value.substr(vstart);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    (*properties)[name] = value;
  }
}

DeviceFile<Properties> &PropertiesFile() {
  static DeviceFile<Properties> file("device.ini", LoadProperties);
  return file;
}

// Finds `name` in host folder `dir` without regard to case. Returns the host
// name found, or "" when there is none.
std::string MatchInFolder(const std::string &dir, const std::wstring &name) {
  DIR *d = ::opendir(dir.c_str());
  if (!d) return "";
  std::wstring wanted = name;
  for (WCHAR &c : wanted) c = UpperChar(c);
  std::string found;
  while (struct dirent *entry = ::readdir(d)) {
    std::wstring candidate = HostNameToWide(entry->d_name);
    if (candidate.size() != wanted.size()) continue;
    bool same = true;
    for (size_t i = 0; i < candidate.size() && same; ++i)
      same = UpperChar(candidate[i]) == wanted[i];
    if (same) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

const std::string &DeviceFolder() {
  DeviceState &state = State();
  if (!state.located) {
    state.located = true;
    const char *named = std::getenv("TOVIK_DEVICE");
    if (named && *named) {
      state.folder = named;
      while (state.folder.size() > 1 && state.folder.back() == '/') state.folder.pop_back();
      MakeFolder(state.folder + "/root");
    } else {
      state.folder = DefaultDeviceFolder();
      bool fresh = !IsFolder(state.folder);
      MakeFolder(state.folder);
      MakeFolder(state.folder + "/root");
      if (fresh) {
        for (const char *sub : {"My Documents", "Windows", "Program Files", "Temp"})
          MakeFolder(state.folder + "/root/" + sub);
      }
    }
    state.root = state.folder + "/root";
  }
  return state.folder;
}

const std::string &DeviceRoot() {
  DeviceFolder();
  return State().root;
}

void OnDeviceReset(std::function<void()> forget) { ResetHooks().push_back(std::move(forget)); }

void ResetDevice() {
  State() = DeviceState();
  for (auto &forget : ResetHooks()) forget();
}

void ReportMalformed(const std::string &file, int line, const std::string &message) {
  std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
}

std::string DeviceProperty(const std::string &name) {
  const Properties &properties = PropertiesFile().Get();
  auto it = properties.find(name);
  return it == properties.end() ? std::string() : it->second;
}

bool DeviceToExactHostPath(const WCHAR *devicePath, std::string *hostPath, DWORD *error) {
  if (!devicePath) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  size_t length = std::wcslen(devicePath);
  if (length >= MAX_PATH) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  std::string path = DeviceRoot();
  path.reserve(path.size() + length * 3 + 1);
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    WCHAR c = devicePath[i];
    if (c != L'\\' && c != L'/' && c != 0) continue;
    size_t size = i - start;
    const WCHAR *part = devicePath + start;
    if ((size == 1 && part[0] == L'.') || (size == 2 && part[0] == L'.' && part[1] == L'.')) {
      *error = ERROR_BAD_PATHNAME;
      return false;
    }
    if (size != 0) {
      path += '/';
      AppendHostName(part, size, &path);
    }
    start = i + 1;
  }
  *hostPath = std::move(path);
  return true;
}

bool DeviceToHostPath(const WCHAR *devicePath, std::string *hostPath, DWORD *error) {
  // Fast path: the path exists exactly as written.
  std::string exact;
  if (!DeviceToExactHostPath(devicePath, &exact, error)) return false;
  struct stat info;
  if (::lstat(exact.c_str(), &info) == 0) {
    *hostPath = std::move(exact);
    return true;
  }
  std::vector<std::wstring> parts;
  std::wstring part;
  for (const WCHAR *p = devicePath;; ++p) {
    if (*p == L'\\' || *p == L'/' || *p == 0) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  std::string path = DeviceRoot();
  bool existing = true;
  for (const std::wstring &component : parts) {
    std::string name = WideToHostName(component);
    if (existing) {
      std::string candidate = path + "/" + name;
      if (::lstat(candidate.c_str(), &info) != 0) {
        std::string match = MatchInFolder(path, component);
        if (match.empty())
          existing = false;
        else
          name = match;
      }
    }
    path += "/" + name;
  }
  *hostPath = path;
  return true;
}

void AppendWideName(const char *name, size_t length, std::wstring *out) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(name);
  size_t n = length;
  for (size_t i = 0; i < n;) {
    unsigned c = s[i];
    unsigned cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      *out += L'\xFFFD';
      ++i;
      continue;
    }
    bool ok = i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      if (ok) cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static const unsigned minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      *out += L'\xFFFD';
      ++i;
      continue;
    }
    *out += static_cast<WCHAR>(cp);
    i += len;
  }
}

std::wstring HostNameToWide(const std::string &name) {
  std::wstring out;
  out.reserve(name.size());
  AppendWideName(name.data(), name.size(), &out);
  return out;
}

void AppendHostName(const WCHAR *name, size_t length, std::string *out) {
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = static_cast<uint32_t>(name[i]);
    // A UTF-16 surrogate pair held in two WCHARs is one character.
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length) {
      uint32_t low = static_cast<uint32_t>(name[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x80) {
      *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      *out += static_cast<char>(0xC0 | (cp >> 6));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *out += static_cast<char>(0xE0 | (cp >> 12));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (cp >> 18));
      *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
}

std::string WideToHostName(const std::wstring &name) {
  std::string out;
  out.reserve(name.size());
  AppendHostName(name.data(), name.size(), &out);
  return out;
}

}  // namespace host
