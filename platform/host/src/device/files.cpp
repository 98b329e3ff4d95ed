// files.cpp - file handles on the device file system: CreateFileW,
// ReadFile, WriteFile, SetFilePointer, SetEndOfFile, GetFileAttributesW,
// CreateDirectoryW, DeleteFileW, MoveFileW. (Directory searches are in
// find.cpp.)
//
// A handle open only for writing holds its writes back (see internal.h).
// Room for what it holds is kept on the host's disk before it takes any
// (fallocate, within the file size limit), so a full disk, a quota or the
// limit fails the WriteFile that meets it, as when every write went
// straight through; where room cannot be kept, writes go straight through.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "internal.h"
#include "platform_testing.h"

namespace {

// Bytes a handle holds back at most.
constexpr size_t kHeldBytes = 64 * 1024;

struct FileObject : host::KernelObject {
  int fd = -1;
  bool holding = false;  // open only for writing, to a regular file
  dev_t device = 0;      // the host file, for SettleWritesTo
  ino_t inode = 0;
  std::unique_ptr<char[]> held;
  size_t heldBytes = 0;
  bool roomKept = false;  // disk space was kept past the file's end
  FileObject *nextHolding = nullptr;
  DWORD Finish() override;
  ~FileObject() override;
};

// Every handle that may hold writes, for settling them all. A list through
// the handles themselves, so that a signal handler can walk it.
FileObject *g_holding = nullptr;
// Set while held bytes or the list change, so that a signal arriving then
// does not write them twice or half.
volatile sig_atomic_t g_changing = 0;

// Writes `size` bytes at the file's position; false with errno on failure.
bool WriteAll(int fd, const char *bytes, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes what `file` holds back; the device's error code when the host
// refused it (the bytes are dropped then, as a failed write's are).
DWORD Settle(FileObject *file) {
  if (file->heldBytes == 0) return ERROR_SUCCESS;
  g_changing = 1;
  bool done = WriteAll(file->fd, file->held.get(), file->heldBytes);
  int error = errno;
  file->heldBytes = 0;
  g_changing = 0;
  return done ? ERROR_SUCCESS : host::ErrorFromErrno(error);
}

// The signals that end a process by default and that a user sends to stop
// one: what is held back is written before the process goes.
constexpr int kSettleSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int kSettleSignalCount = sizeof kSettleSignals / sizeof kSettleSignals[0];
struct sigaction g_before[kSettleSignalCount];

void SettleOnSignal(int signal) {
  int saved = errno;
  if (!g_changing) {
    for (FileObject *file = g_holding; file; file = file->nextHolding) {
      if (file->heldBytes) WriteAll(file->fd, file->held.get(), file->heldBytes);
      file->heldBytes = 0;
    }
  }
  // The signal goes on to whoever had it before (raised again, it arrives
  // when this handler returns).
  for (int i = 0; i < kSettleSignalCount; ++i)
    if (kSettleSignals[i] == signal) ::sigaction(signal, &g_before[i], nullptr);
  ::raise(signal);
  errno = saved;
}

// A child made by fork shares the files but must not write what the
// parent holds back: the parent does.
void ForgetHeldInChild() {
  for (FileObject *file = g_holding; file; file = file->nextHolding) file->heldBytes = 0;
}

void StartSettling() {
  static bool started = false;
  if (started) return;
  started = true;
  std::atexit(host::SettleWrites);
  ::pthread_atfork(nullptr, nullptr, ForgetHeldInChild);
  for (int i = 0; i < kSettleSignalCount; ++i) {
    if (::sigaction(kSettleSignals[i], nullptr, &g_before[i]) != 0 ||
        g_before[i].sa_handler == SIG_IGN)
      continue;
    struct sigaction action {};
    action.sa_handler = SettleOnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(kSettleSignals[i], &action, nullptr);
  }
}

// Makes `file` ready to hold the next kHeldBytes bytes: a buffer, and room
// for them on the host's disk. False when writes are to go straight
// through; after a refusal they always do for this handle.
bool KeepRoom(FileObject *file) {
  if (!file->held) {
    file->held.reset(new (std::nothrow) char[kHeldBytes]);
    if (!file->held) return false;
    StartSettling();
  }
  off_t at = ::lseek(file->fd, 0, SEEK_CUR);
  struct rlimit limit;
  bool allowed =
      at >= 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY || static_cast<rlim_t>(at) + kHeldBytes <= limit.rlim_cur);
  if (!allowed || ::fallocate(file->fd, FALLOC_FL_KEEP_SIZE, at, kHeldBytes) != 0) {
    file->holding = false;
    return false;
  }
  file->roomKept = true;
  return true;
}

DWORD FileObject::Finish() {
  DWORD error = Settle(this);
  // Gives back the disk space kept past the end of the file.
  struct stat info;
  if (roomKept && ::fstat(fd, &info) == 0) ::ftruncate(fd, info.st_size);
  roomKept = false;
  return error;
}

FileObject::~FileObject() {
  Finish();
  g_changing = 1;
  for (FileObject **at = &g_holding; *at; at = &(*at)->nextHolding) {
    if (*at == this) {
      *at = nextHolding;
      break;
    }
  }
  g_changing = 0;
  if (fd >= 0) ::close(fd);
}

FileObject *FileFor(HANDLE handle) {
  FileObject *file = host::LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace

void host::SettleWrites() {
  for (FileObject *file = g_holding; file; file = file->nextHolding) Settle(file);
}

void PlatformSettleWrites(void) { host::SettleWrites(); }

bool host::SettleWritesTo(dev_t device, ino_t inode) {
  for (FileObject *file = g_holding; file; file = file->nextHolding) {
    if (file->heldBytes && file->inode == inode && file->device == device) {
      Settle(file);
      return true;
    }
  }
  return false;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  if (DWORD fault = host::FaultHit(host::Fault::kCreateFileW)) {
    SetLastError(fault);
    return INVALID_HANDLE_VALUE;
  }
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToRootPath(fileName, &path, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC | O_NONBLOCK;  // never wait on a FIFO with no peer
  bool reading = desiredAccess & GENERIC_READ;
  bool writing = desiredAccess & GENERIC_WRITE;
  flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
  switch (creationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  struct stat before;
  bool existed = host::StatInRoot(path, true, &before);
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed) host::SettleWritesTo(before.st_dev, before.st_ino);
  if ((flags & O_TRUNC) && !writing) flags = (flags & ~O_RDONLY) | O_RDWR;
  int fd = host::OpenInRoot(path, flags, 0666);
  if (fd < 0) {
    SetLastError(host::ErrorFromErrno(
        errno, flags & O_CREAT ? host::HostCall::kCreateFile : host::HostCall::kOpenFile));
    return INVALID_HANDLE_VALUE;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  auto *file = new FileObject;
  file->fd = fd;
  struct stat opened {};
  if (::fstat(fd, &opened) == 0) {
    file->device = opened.st_dev;
    file->inode = opened.st_ino;
  }
  if (writing && !reading && S_ISREG(opened.st_mode)) {
    file->holding = true;
    g_changing = 1;
    file->nextHolding = g_holding;
    g_holding = file;
    g_changing = 0;
  }
  bool reportExisting =
      existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return host::RegisterHandle(file);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED /*overlapped*/) {
  if (bytesWritten) *bytesWritten = 0;
  FileObject *file = FileFor(handle);
  if (!file) return FALSE;
  if (DWORD fault = host::FaultHit(host::Fault::kWriteFile)) {
    SetLastError(fault);
    return FALSE;
  }
  const char *bytes = static_cast<const char *>(buffer);
  if (file->holding && bytesToWrite <= kHeldBytes) {
    if (file->heldBytes + bytesToWrite > kHeldBytes) {
      if (DWORD error = Settle(file)) {
        SetLastError(error);
        return FALSE;
      }
    }
    if (file->heldBytes > 0 || KeepRoom(file)) {
      g_changing = 1;
      std::memcpy(file->held.get() + file->heldBytes, bytes, bytesToWrite);
      file->heldBytes += bytesToWrite;
      g_changing = 0;
      if (bytesWritten) *bytesWritten = bytesToWrite;
      return TRUE;
    }
  }
  if (DWORD error = Settle(file)) {
    SetLastError(error);
    return FALSE;
  }
  DWORD done = 0;
  while (done < bytesToWrite) {
    ssize_t n = ::write(file->fd, bytes + done, bytesToWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(host::ErrorFromErrno(errno));
      if (bytesWritten) *bytesWritten = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED /*overlapped*/) {
  if (bytesRead) *bytesRead = 0;
  FileObject *file = FileFor(handle);
  if (!file) return FALSE;
  host::SettleWritesTo(file->device, file->inode);
  ssize_t n;
  do {
    n = ::read(file->fd, buffer, bytesToRead);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetLastError(host::ErrorFromErrno(errno));
    return FALSE;
  }
  if (bytesRead) *bytesRead = static_cast<DWORD>(n);
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceHigh, DWORD moveMethod) {
  FileObject *file = FileFor(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  if (DWORD error = Settle(file)) {
    SetLastError(error);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t distance = distanceHigh
                         ? static_cast<int64_t>(
                               (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                               static_cast<uint32_t>(distanceToMove))
                         : static_cast<int64_t>(distanceToMove);
  int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
               : moveMethod == FILE_CURRENT ? SEEK_CUR
               : moveMethod == FILE_END     ? SEEK_END
                                            : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t position = ::lseek(file->fd, static_cast<off_t>(distance), whence);
  if (position < 0) {
    SetLastError(host::ErrorFromErrno(errno, host::HostCall::kSeek));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<uint64_t>(position) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE handle) {
  FileObject *file = FileFor(handle);
  if (!file) return FALSE;
  if (DWORD error = Settle(file)) {
    SetLastError(error);
    return FALSE;
  }
  off_t position = ::lseek(file->fd, 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file->fd, position) != 0) {
    SetLastError(host::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToRootPath(fileName, &path, &error)) {
    SetLastError(error);
    return INVALID_FILE_ATTRIBUTES;
  }
  int fd = host::OpenInRoot(path, O_PATH);
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    SetLastError(host::ErrorFromErrno(errno));
    if (fd >= 0) ::close(fd);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
  // Asked of the file found, not of a path that a link could turn aside.
  if (::faccessat(fd, "", W_OK, AT_EMPTY_PATH) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
  ::close(fd);
  // Files named in rom.txt lie in ROM, and ROM cannot be written.
  DWORD rom = host::RomAttributes(fileName);
  if (rom) attributes |= rom | FILE_ATTRIBUTE_READONLY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) {
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToRootPath(pathName, &path, &error)) {
    SetLastError(error);
    return FALSE;
  }
  std::string name;
  int parent = host::OpenParentInRoot(path, &name);
  if (parent < 0 || ::mkdirat(parent, name.c_str(), 0777) != 0) {
    SetLastError(host::ErrorFromErrno(errno, host::HostCall::kNameInFolder));
    if (parent >= 0) ::close(parent);
    return FALSE;
  }
  ::close(parent);
  return TRUE;
}

// The folder (O_PATH, resolved inside the root) that holds a device path's
// last component, and that component; -1 with the device's error code set
// when the path cannot be mapped or its folder reached.
static int OpenParentOf(LPCWSTR devicePath, std::string *name) {
  host::SettleWrites();
  std::string path;
  DWORD error = ERROR_SUCCESS;
  if (!host::DeviceToRootPath(devicePath, &path, &error)) {
    SetLastError(error);
    return -1;
  }
  int parent = host::OpenParentInRoot(path, name);
  if (parent < 0) SetLastError(host::ErrorFromErrno(errno, host::HostCall::kNameInFolder));
  return parent;
}

// Removes a file. A directory is refused (ERROR_ACCESS_DENIED), as is a
// file that lies in ROM. A link is removed itself, never what it leads to.
BOOL DeleteFileW(LPCWSTR fileName) {
  std::string name;
  int parent = OpenParentOf(fileName, &name);
  if (parent < 0) return FALSE;
  struct stat info;
  BOOL done = FALSE;
  if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    SetLastError(host::ErrorFromErrno(errno));
  else if (S_ISDIR(info.st_mode) || host::RomAttributes(fileName))
    SetLastError(ERROR_ACCESS_DENIED);
  else if (::unlinkat(parent, name.c_str(), 0) != 0)
    SetLastError(host::ErrorFromErrno(errno));
  else
    done = TRUE;
  ::close(parent);
  return done;
}

// Renames a file or directory. As on the device, an existing file at the
// new name is never replaced (ERROR_ALREADY_EXISTS).
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
  std::string fromName, toName;
  int from = OpenParentOf(existingFileName, &fromName);
  if (from < 0) return FALSE;
  int to = OpenParentOf(newFileName, &toName);
  if (to < 0) {
    ::close(from);
    return FALSE;
  }
  struct stat info;
  BOOL done = FALSE;
  if (::fstatat(from, fromName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    SetLastError(host::ErrorFromErrno(errno));
  else if (::fstatat(to, toName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    SetLastError(ERROR_ALREADY_EXISTS);
  else if (::renameat(from, fromName.c_str(), to, toName.c_str()) != 0)
    SetLastError(host::ErrorFromErrno(errno, host::HostCall::kNameInFolder));
  else
    done = TRUE;
  ::close(from);
  ::close(to);
  return done;
}
