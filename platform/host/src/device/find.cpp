// find.cpp - directory searches on the device file system: FindFirstFileW,
// FindNextFileW, FindClose.
//
// A search is a folder and a wildcard ("\Windows\*.*"): '*' stands for any
// run of characters, '?' for one, and names are matched without regard to
// case; "*.*" matches every name, as on the device. Entries come in the
// host's directory order, without "." and "..".
//
// What each entry reports:
//  - attributes: FILE_ATTRIBUTE_DIRECTORY for a folder; READONLY when the
//    host file cannot be written by this process (its permission bits
//    against the process's user and groups, or a read-only file system;
//    access control lists are not consulted); the ROM bits from rom.txt (a
//    ROM file is also READONLY); NORMAL when none of these applies.
//  - times as UTC FILETIMEs: creation from the host's birth time where the
//    file system keeps one, else the modification time; last access; last
//    write (the modification time).
//  - the size in two 32-bit halves; folders, FIFOs, sockets and devices
//    have size 0 (they are looked at, never opened).
//  - the name as a wide string (UTF-16: a character beyond U+FFFF is a
//    surrogate pair); a host name that is not UTF-8 shows U+FFFD for each
//    bad byte, and characters a device name cannot hold show as U+F000 plus
//    their code (see internal.h).
//
// Links are resolved inside the device root (see internal.h). A link to a
// file reports that file's size and times. A link to a folder is reported
// without the directory attribute and with size 0, so a walk lists it but
// never enters it: however links fan out or loop, a walk costs one visit per
// real folder. A link that cannot be followed - it leads nowhere, in a
// loop, or through a folder that cannot be searched - is reported as the
// link itself, size 0. No entry the folder holds is left out.
//
// Like every device path, a search pattern of MAX_PATH characters or more
// is refused (ERROR_FILENAME_EXCED_RANGE), which also bounds how deep a walk
// can go. A folder that cannot be read fails the search with
// ERROR_ACCESS_DENIED.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <unordered_map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"

namespace {

// Who this process is, for the read-only attribute and for searching, and
// which mounts are read-only: asked of the host once per device (forgotten
// by ResetDevice), not at every search. The groups, and whether a mount is
// read-only, are asked by the first entry that needs them (many walks need
// neither: the superuser's, or those of files the user owns).
struct Caller {
  bool userRead = false;
  uid_t user = 0;
  bool superuser = false;  // real and effective user 0: may search any folder
  bool groupsRead = false;
  gid_t group = 0;
  std::vector<gid_t> groups;
  std::unordered_map<uint64_t, bool> readOnlyMounts;  // by mount id
};

Caller &DeviceCaller() {
  static Caller caller;
  static bool registered = false;
  if (!registered) {
    registered = true;
    host::OnDeviceReset([] { caller = Caller(); });
  }
  if (!caller.userRead) {
    caller.userRead = true;
    caller.user = ::geteuid();
    caller.superuser = caller.user == 0 && ::getuid() == 0;
  }
  return caller;
}

// Bytes of directory entries read from the host at once.
const size_t kEntryBufferBytes = 32768;

struct FindObject : host::KernelObject {
  // The open folder, read with getdents64 into `entries` (the host's DIR
  // would look the folder up again with fstat and fcntl for every search).
  int fd = -1;
  std::unique_ptr<char[]> entries;
  size_t entryAt = 0;      // the next entry in `entries`
  size_t entryBytes = 0;   // bytes of entries read
  std::wstring wildcard;   // upper case; empty matches every name
  std::wstring deviceDir;  // the searched folder's device path, for rom.txt
  std::string rootDir;     // the searched folder's root path, for links
  // Whether the folder's file system is mounted read-only, for entries
  // whose mount the host does not tell: -1 not read yet, else 1 when so.
  int fileSystemRead = -1;
  std::wstring name;  // the entry being read, kept to spare an allocation per entry
  std::wstring upper;
  ~FindObject() override;
};

// The entry a search returned last, when it is a regular file: a walk
// opens it next to take its checksum (see SearchJustSawFile).
struct LastFile {
  const FindObject *search = nullptr;  // null when there is none
  std::string name;                    // host name in the search's folder
};
LastFile g_lastFile;

FindObject::~FindObject() {
  if (g_lastFile.search == this) g_lastFile.search = nullptr;
  if (fd >= 0) ::close(fd);
}

// True when `name` (upper case) matches `wildcard` (upper case).
bool WildcardMatch(const WCHAR *wildcard, const WCHAR *name) {
  // Iterative matching with one back-tracking point for the last '*'.
  const WCHAR *star = nullptr;
  const WCHAR *resume = nullptr;
  while (*name) {
    if (*wildcard == L'*') {
      star = wildcard++;
      resume = name;
    } else if (*wildcard == L'?' || *wildcard == *name) {
      ++wildcard;
      ++name;
    } else if (star) {
      wildcard = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*wildcard == L'*') ++wildcard;
  return *wildcard == 0;
}

struct EntryInfo {
  mode_t mode = 0;
  uid_t user = 0;
  gid_t group = 0;
  uint64_t size = 0;
  struct timespec access {};
  struct timespec write {};
  struct timespec birth {};
  bool hasBirth = false;
  bool hasMount = false;
  uint64_t mount = 0;  // the id of the mount the entry is on
  dev_t device = 0;    // the host file, for the writes a handle holds back
  ino_t inode = 0;
};

// statx of `name` in folder `dirFd` (AT_ flags as statx takes them) into
// `info`; fstatat where the kernel lacks statx (no birth time then).
bool StatAt(int dirFd, const char *name, int flags, EntryInfo *info) {
  struct statx sx;
  if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME | STATX_MNT_ID,
              &sx) == 0) {
    info->mode = sx.stx_mode;
    info->user = sx.stx_uid;
    info->group = sx.stx_gid;
    info->size = sx.stx_size;
    info->access = {static_cast<time_t>(sx.stx_atime.tv_sec),
                    static_cast<long>(sx.stx_atime.tv_nsec)};
    info->write = {static_cast<time_t>(sx.stx_mtime.tv_sec),
                   static_cast<long>(sx.stx_mtime.tv_nsec)};
    // Some file systems answer a birth time of 0 when they keep none.
    info->hasBirth =
        (sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
    info->birth = {static_cast<time_t>(sx.stx_btime.tv_sec),
                   static_cast<long>(sx.stx_btime.tv_nsec)};
    info->hasMount = sx.stx_mask & STATX_MNT_ID;
    info->mount = sx.stx_mnt_id;
    info->device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    info->inode = sx.stx_ino;
    return true;
  }
  if (errno != ENOSYS) return false;
  struct stat st;
  if (::fstatat(dirFd, name, &st, flags) != 0) return false;
  info->mode = st.st_mode;
  info->user = st.st_uid;
  info->group = st.st_gid;
  info->size = static_cast<uint64_t>(st.st_size);
  info->access = st.st_atim;
  info->write = st.st_mtim;
  info->hasBirth = false;
  info->hasMount = false;
  info->device = st.st_dev;
  info->inode = st.st_ino;
  return true;
}

// The host's view of entry `name` of the folder being searched: the entry
// itself, or for a link what it leads to inside the root (*linked set).
// A link that cannot be followed is the link itself. False when the entry
// is gone.
bool StatEntry(FindObject *find, const char *name, EntryInfo *info, bool *linked) {
  *linked = false;
  if (!StatAt(find->fd, name, AT_SYMLINK_NOFOLLOW, info)) {
    if (errno == ENOENT) return false;  // removed meanwhile
    *info = EntryInfo();                // listed all the same, with nothing known
    return true;
  }
  if (!S_ISLNK(info->mode)) return true;
  std::string path = find->rootDir.empty() ? name : find->rootDir + "/" + name;
  int target = host::OpenInRoot(path, O_PATH);
  if (target < 0) return true;
  EntryInfo followed;
  if (StatAt(target, "", AT_EMPTY_PATH, &followed)) {
    *info = followed;
    *linked = true;
  }
  ::close(target);
  return true;
}

void ReadGroups(Caller &caller) {
  caller.groupsRead = true;
  caller.group = ::getegid();
  int count = ::getgroups(0, nullptr);
  if (count > 0) {
    caller.groups.resize(static_cast<size_t>(count));
    count = ::getgroups(count, caller.groups.data());
    caller.groups.resize(count > 0 ? static_cast<size_t>(count) : 0);
  }
}

// True when the file system of entry `name` (followed when `linked`) is
// mounted read-only.
bool OnReadOnlyMount(FindObject *find, const char *name, const EntryInfo &info, bool linked) {
  Caller &caller = DeviceCaller();
  if (info.hasMount) {
    auto known = caller.readOnlyMounts.find(info.mount);
    if (known != caller.readOnlyMounts.end()) return known->second;
    // Asked once per mount, of the entry itself.
    int fd =
        linked ? host::OpenInRoot(find->rootDir.empty() ? name : find->rootDir + "/" + name, O_PATH)
               : ::openat(find->fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct statvfs fs;
    if (fd >= 0) {
      bool done = ::fstatvfs(fd, &fs) == 0;
      ::close(fd);
      if (done) return caller.readOnlyMounts[info.mount] = fs.f_flag & ST_RDONLY;
    }
  }
  // No mount told: the folder's file system, asked once per search.
  if (find->fileSystemRead < 0) {
    struct statvfs fs;
    find->fileSystemRead = ::fstatvfs(find->fd, &fs) == 0 && (fs.f_flag & ST_RDONLY) ? 1 : 0;
  }
  return find->fileSystemRead == 1;
}

// True when the caller may write entry `name` of this mode and owner. The
// permission bits are read as the kernel reads them (the owner's, else the
// group's, else everyone's); the superuser may write anything; nothing on
// a file system mounted read-only can be written.
bool Writable(FindObject *find, const char *name, const EntryInfo &info, bool linked) {
  Caller &caller = DeviceCaller();
  bool permitted;
  if (caller.user == 0) {
    permitted = true;
  } else if (info.user == caller.user) {
    permitted = info.mode & S_IWUSR;
  } else {
    if (!caller.groupsRead) ReadGroups(caller);
    bool member = info.group == caller.group;
    for (gid_t g : caller.groups) member = member || g == info.group;
    permitted = info.mode & (member ? S_IWGRP : S_IWOTH);
  }
  return permitted && !OnReadOnlyMount(find, name, info, linked);
}

FILETIME ToFileTime(const struct timespec &t) {
  return host::FileTimeFromUnix(static_cast<int64_t>(t.tv_sec), t.tv_nsec);
}

// The name of the folder's next host entry, or null at its end (or when
// the folder cannot be read further).
const char *NextHostName(FindObject *find) {
  for (;;) {
    if (find->entryAt >= find->entryBytes) {
      ssize_t read;
      do {
        read = ::getdents64(find->fd, find->entries.get(), kEntryBufferBytes);
      } while (read < 0 && errno == EINTR);
      if (read <= 0) return nullptr;
      find->entryBytes = static_cast<size_t>(read);
      find->entryAt = 0;
    }
    const auto *entry =
        reinterpret_cast<const struct dirent64 *>(find->entries.get() + find->entryAt);
    find->entryAt += entry->d_reclen;
    if (entry->d_ino != 0) return entry->d_name;  // 0: an entry deleted meanwhile
  }
}

// Reads the host folder on to the next matching entry and fills `data`
// with it. False at the end of the folder.
bool NextEntry(FindObject *find, LPWIN32_FIND_DATAW data) {
  std::wstring &wide = find->name;
  while (const char *name = NextHostName(find)) {
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    wide.clear();
    host::AppendWideFileName(name, std::strlen(name), &wide);
    if (wide.empty() || wide.size() >= MAX_PATH) continue;
    if (!find->wildcard.empty()) {
      std::wstring &upper = find->upper;
      upper = wide;
      for (WCHAR &c : upper) c = host::UpperChar(c);
      if (!WildcardMatch(find->wildcard.c_str(), upper.c_str())) continue;
    }
    EntryInfo info;
    bool linked = false;
    if (!StatEntry(find, name, &info, &linked)) continue;
    // A file a handle is writing is shown with what it was given.
    if (host::SettleWritesTo(info.device, info.inode) && !StatEntry(find, name, &info, &linked))
      continue;

    DWORD attributes = 0;
    uint64_t size = 0;
    if (S_ISDIR(info.mode)) {
      if (!linked) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISREG(info.mode)) {
      size = info.size;
    }
    if (!Writable(find, name, info, linked)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!host::RomListEmpty()) {
      DWORD rom = host::RomAttributes(find->deviceDir + L'\\' + wide);
      if (rom) attributes |= rom | FILE_ATTRIBUTE_READONLY;
    }
    if (S_ISREG(info.mode) && !linked) {
      g_lastFile.search = find;
      g_lastFile.name = name;
    } else if (g_lastFile.search == find) {
      g_lastFile.search = nullptr;
    }
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    data->ftCreationTime = ToFileTime(info.hasBirth ? info.birth : info.write);
    data->ftLastAccessTime = ToFileTime(info.access);
    data->ftLastWriteTime = ToFileTime(info.write);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    data->dwOID = 0;
    std::wmemcpy(data->cFileName, wide.data(), wide.size());
    data->cFileName[wide.size()] = 0;
    return true;
  }
  return false;
}

}  // namespace

bool host::SearchJustSawFile(const std::string &rootPath) {
  const FindObject *search = g_lastFile.search;
  if (!search) return false;
  const std::string &folder = search->rootDir;
  const std::string &name = g_lastFile.name;
  if (folder.empty()) return rootPath == name;
  return rootPath.size() == folder.size() + 1 + name.size() &&
         rootPath.compare(0, folder.size(), folder) == 0 && rootPath[folder.size()] == '/' &&
         rootPath.compare(folder.size() + 1, std::string::npos, name) == 0;
}

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  if (!fileName || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::wstring pattern = fileName;
  if (pattern.size() >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  size_t split = pattern.find_last_of(L"\\/");
  std::wstring folder = split == std::wstring::npos ? L"" : pattern.substr(0, split);
  std::wstring wildcard = split == std::wstring::npos ? pattern : pattern.substr(split + 1);
  if (wildcard.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  for (WCHAR &c : wildcard) c = host::UpperChar(c);
  if (wildcard == L"*.*" || wildcard == L"*") wildcard.clear();

  // The folder is opened by its path as written; only when that fails is
  // it matched without regard to case.
  std::string rootDir;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToExactRootPath(folder.c_str(), &rootDir, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  int fd = host::OpenInRoot(rootDir, O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    if (!host::DeviceToRootPath(folder.c_str(), &rootDir, &error)) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    fd = host::OpenInRoot(rootDir, O_RDONLY | O_DIRECTORY);
  }
  if (fd < 0) {
    SetLastError(host::ErrorFromErrno(errno, host::HostCall::kSearchFolder));
    return INVALID_HANDLE_VALUE;
  }
  auto *find = new FindObject;
  find->wildcard = wildcard;
  find->deviceDir = folder;
  // A folder that can be opened but not searched (no execute permission)
  // cannot show what its entries are: it fails like an unreadable one. The
  // superuser may search every folder.
  char *entries = nullptr;
  if ((!DeviceCaller().superuser && ::faccessat(fd, ".", R_OK | X_OK, 0) != 0) ||
      !(entries = new (std::nothrow) char[kEntryBufferBytes])) {
    ::close(fd);
    delete find;
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  find->fd = fd;
  find->entries.reset(entries);
  find->rootDir = std::move(rootDir);
  if (!NextEntry(find, findData)) {
    delete find;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return host::RegisterHandle(find);
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData) {
  if (DWORD fault = host::FaultHit(host::Fault::kFindNextFileW)) {
    SetLastError(fault);
    return FALSE;
  }
  FindObject *find = host::LookupHandleAs<FindObject>(findFile);
  if (!find || !findData) {
    SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!NextEntry(find, findData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE findFile) {
  if (!host::LookupHandleAs<FindObject>(findFile) || !host::ReleaseHandle(findFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
