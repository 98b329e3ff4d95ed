// device.cpp - the device folder: where it is, its properties, and how a
// device path becomes a host path.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <vector>

#include "internal.h"

namespace host {
namespace {

struct DeviceState {
  bool located = false;
  std::string folder;
  std::string root;  // folder + "/root"
  int rootFd = -1;   // the device root, opened when first needed
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

// Finds `name` in the open host folder `dirFd` (taken over and closed)
// without regard to case. Returns the host name found, or "" when there is
// none.
std::string MatchInFolder(int dirFd, const std::wstring &name) {
  DIR *d = ::fdopendir(dirFd);
  if (!d) {
    ::close(dirFd);
    return "";
  }
  std::wstring wanted = name;
  for (WCHAR &c : wanted) c = UpperChar(c);
  std::string found;
  std::wstring candidate;
  while (struct dirent *entry = ::readdir(d)) {
    candidate.clear();
    AppendWideFileName(entry->d_name, std::strlen(entry->d_name), &candidate);
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

// ---------------------------------------------------------------------------
// Resolution inside the root
// ---------------------------------------------------------------------------

// How paths are resolved: -1 not decided yet, 1 by the kernel (openat2 with
// RESOLVE_IN_ROOT), 0 component by component here.
int &KernelResolution() {
  static int kernel = -1;
  return kernel;
}

int OpenAt2(int dirFd, const char *path, int flags, mode_t mode) {
  struct open_how how = {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.mode = (flags & O_CREAT) ? mode : 0;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  // The kernel answers EAGAIN when a rename elsewhere raced with a ".."; a
  // few more tries settle it.
  for (int attempt = 0;; ++attempt) {
    long fd = ::syscall(SYS_openat2, dirFd, path, &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN || attempt == 8) return static_cast<int>(fd);
  }
}

bool UseKernel(int rootFd) {
  int &kernel = KernelResolution();
  if (kernel < 0) {
    // Kernels before 5.6 lack openat2, and some sandboxes refuse it.
    int fd = OpenAt2(rootFd, ".", O_PATH | O_DIRECTORY, 0);
    kernel = fd >= 0 ? 1 : 0;
    if (fd >= 0) ::close(fd);
  }
  return kernel == 1;
}

// Links followed along one resolution before it fails with ELOOP, as the
// kernel counts them.
const int kMaxLinks = 40;

// Resolves `relative` inside the root one component at a time, with the
// kernel's rules for RESOLVE_IN_ROOT: an absolute link target starts again
// at the root, ".." never leaves it. Returns an O_PATH descriptor of the
// folder holding the last component and that component's name in *last
// ("." when the path ends on a folder); the last component is a link only
// when `followLast` is false. A last component that does not exist is
// given all the same (it may be about to be made). -1 with errno when a
// folder on the way cannot be reached.
int WalkInRoot(int rootFd, const std::string &relative, bool followLast, std::string *last) {
  last->clear();
  std::vector<int> folders;  // folders[0] is the root
  auto fail = [&folders](int error) {
    for (int fd : folders) ::close(fd);
    errno = error;
    return -1;
  };
  int root = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
  if (root < 0) return -1;
  folders.push_back(root);
  std::deque<std::string> pending;
  auto push = [&pending](const std::string &path, bool front) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
      if (i < path.size() && path[i] != '/') continue;
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
    if (front)
      pending.insert(pending.begin(), parts.begin(), parts.end());
    else
      pending.insert(pending.end(), parts.begin(), parts.end());
  };
  push(relative, false);
  int links = 0;
  while (!pending.empty()) {
    std::string name = std::move(pending.front());
    pending.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (folders.size() > 1) {
        ::close(folders.back());
        folders.pop_back();
      }
      continue;
    }
    bool isLast = pending.empty();
    struct stat info;
    if (::fstatat(folders.back(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (isLast && errno == ENOENT) {
        *last = name;
        break;
      }
      return fail(errno);
    }
    if (S_ISLNK(info.st_mode) && (!isLast || followLast)) {
      if (++links > kMaxLinks) return fail(ELOOP);
      std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
      ssize_t size = ::readlinkat(folders.back(), name.c_str(), &target[0], target.size());
      if (size < 0) return fail(errno);
      if (static_cast<size_t>(size) >= target.size()) return fail(ENAMETOOLONG);
      target.resize(static_cast<size_t>(size));
      if (target.empty()) return fail(ENOENT);
      if (target[0] == '/') {
        while (folders.size() > 1) {
          ::close(folders.back());
          folders.pop_back();
        }
      }
      push(target, true);
      continue;
    }
    if (isLast) {
      *last = name;
      break;
    }
    int next =
        ::openat(folders.back(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return fail(errno);
    folders.push_back(next);
  }
  if (last->empty()) *last = ".";
  int parent = folders.back();
  folders.pop_back();
  for (int fd : folders) ::close(fd);
  return parent;
}

const char *OrRoot(const std::string &relative) {
  return relative.empty() ? "." : relative.c_str();
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
  if (State().rootFd >= 0) ::close(State().rootFd);
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

void ResolvePathsByHand(bool on) { KernelResolution() = on ? 0 : -1; }

int RootFd() {
  DeviceState &state = State();
  if (state.rootFd < 0)
    state.rootFd = ::open(DeviceRoot().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return state.rootFd;
}

int OpenInRoot(const std::string &relative, int flags, mode_t mode) {
  int root = RootFd();
  if (root < 0) return -1;
  if (UseKernel(root)) return OpenAt2(root, OrRoot(relative), flags, mode);
  std::string last;
  int parent = WalkInRoot(root, relative, !(flags & O_NOFOLLOW), &last);
  if (parent < 0) return -1;
  int fd = ::openat(parent, last.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  int error = errno;
  ::close(parent);
  errno = error;
  return fd;
}

int OpenParentInRoot(const std::string &relative, std::string *name) {
  int root = RootFd();
  if (root < 0) return -1;
  if (!UseKernel(root)) return WalkInRoot(root, relative, false, name);
  size_t slash = relative.rfind('/');
  *name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  if (name->empty()) *name = ".";
  std::string folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
  return OpenAt2(root, OrRoot(folder), O_PATH | O_DIRECTORY, 0);
}

bool StatInRoot(const std::string &relative, bool followLink, struct stat *info) {
  int fd = OpenInRoot(relative, O_PATH | (followLink ? 0 : O_NOFOLLOW));
  if (fd < 0) return false;
  bool done = ::fstat(fd, info) == 0;
  int error = errno;
  ::close(fd);
  errno = error;
  return done;
}

bool DeviceToExactRootPath(const WCHAR *devicePath, std::string *relative, DWORD *error) {
  if (!devicePath) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  size_t length = std::wcslen(devicePath);
  if (length >= MAX_PATH) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  std::string path;
  path.reserve(length * 3 + 1);
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
      if (!path.empty()) path += '/';
      AppendHostFileName(part, size, &path);
    }
    start = i + 1;
  }
  *relative = std::move(path);
  return true;
}

bool DeviceToRootPath(const WCHAR *devicePath, std::string *relative, DWORD *error) {
  // Fast path: the path exists exactly as written.
  std::string exact;
  if (!DeviceToExactRootPath(devicePath, &exact, error)) return false;
  struct stat info;
  if (StatInRoot(exact, false, &info)) {
    *relative = std::move(exact);
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
  std::string path;
  bool existing = true;
  for (const std::wstring &component : parts) {
    std::string name;
    AppendHostFileName(component.data(), component.size(), &name);
    std::string candidate = path.empty() ? name : path + "/" + name;
    if (existing && !StatInRoot(candidate, false, &info)) {
      int folder = OpenInRoot(path, O_RDONLY | O_DIRECTORY);
      std::string match = folder >= 0 ? MatchInFolder(folder, component) : std::string();
      if (match.empty()) {
        existing = false;
      } else {
        candidate = path.empty() ? match : path + "/" + match;
      }
    }
    path = std::move(candidate);
  }
  *relative = std::move(path);
  return true;
}

namespace {

// True for the characters a device file name cannot hold: the control
// characters U+0001-U+001F and \ : * ? " < > |.
bool Unfit(uint32_t c) {
  return (c >= 0x01 && c <= 0x1F) || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
         c == '<' || c == '>' || c == '|';
}

// Where such a character stands in a device name: U+F000 plus its code, as
// Windows' own Linux subsystem shows it.
const uint32_t kUnfitBase = 0xF000;

// Decodes UTF-8 into UTF-16 units: a character beyond U+FFFF becomes a
// surrogate pair, as the device keeps it; a byte that is not valid UTF-8
// becomes U+FFFD. With `fileName`, characters a device name cannot hold are
// moved to U+F000 plus their code.
void AppendWide(const char *name, size_t length, bool fileName, std::wstring *out) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(name);
  for (size_t i = 0; i < length;) {
    unsigned c = s[i];
    uint32_t cp;
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
    bool ok = i + len <= length;
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      if (ok) cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      *out += L'\xFFFD';
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      *out += static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
      *out += static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *out += static_cast<WCHAR>(fileName && Unfit(cp) ? kUnfitBase + cp : cp);
    }
    i += len;
  }
}

// Encodes UTF-16 units as UTF-8; a surrogate pair is one character, a lone
// surrogate becomes U+FFFD. With `fileName`, U+F000 plus the code of a
// character a device name cannot hold is that character again.
void AppendUtf8(const WCHAR *name, size_t length, bool fileName, std::string *out) {
  for (size_t i = 0; i < length; ++i) {
    uint32_t cp = static_cast<uint32_t>(name[i]);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length) {
      uint32_t low = static_cast<uint32_t>(name[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (fileName && cp > kUnfitBase && cp < kUnfitBase + 0x80 && Unfit(cp - kUnfitBase))
      cp -= kUnfitBase;
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

}  // namespace

void AppendWideName(const char *name, size_t length, std::wstring *out) {
  AppendWide(name, length, false, out);
}

void AppendWideFileName(const char *name, size_t length, std::wstring *out) {
  AppendWide(name, length, true, out);
}

std::wstring HostNameToWide(const std::string &name) {
  std::wstring out;
  out.reserve(name.size());
  AppendWide(name.data(), name.size(), false, &out);
  return out;
}

void AppendHostName(const WCHAR *name, size_t length, std::string *out) {
  AppendUtf8(name, length, false, out);
}

void AppendHostFileName(const WCHAR *name, size_t length, std::string *out) {
  AppendUtf8(name, length, true, out);
}

std::string WideToHostName(const std::wstring &name) {
  std::string out;
  out.reserve(name.size());
  AppendUtf8(name.data(), name.size(), false, &out);
  return out;
}

}  // namespace host
