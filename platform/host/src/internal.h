// internal.h - what the pieces of the host platform layer share.
//
// The device is a folder (see device.cpp); everything that turns a device
// request into a host one - paths, code page, errors, handles - lives here so
// that each API file stays a thin translation of one family of calls.
#ifndef TOVIK_PLATFORM_INTERNAL_H
#define TOVIK_PLATFORM_INTERNAL_H

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform.h"

namespace host {

// ---------------------------------------------------------------------------
// The device folder
// ---------------------------------------------------------------------------

// The host folder that stands for the device: TOVIK_DEVICE, or the per-user
// default device, created with its usual empty folders on first use.
const std::string &DeviceFolder();

// The host folder that stands for the device root "\" (DeviceFolder()/root).
const std::string &DeviceRoot();

// Forgets everything read from the device folder (its name, device.ini,
// registry, ROM list, object store) so that the next call reads it afresh.
// Tests use this between devices.
void ResetDevice();

// Registers a function that ResetDevice calls; each module that caches
// something read from the device folder registers its own forgetting.
void OnDeviceReset(std::function<void()> forget);

// A malformed line in one of the device folder's files: "file:line: message"
// on standard error. The rest of the file is used.
void ReportMalformed(const std::string &file, int line, const std::string &message);

// A device property from device.ini ("" when absent).
std::string DeviceProperty(const std::string &name);

// ---------------------------------------------------------------------------
// Files of the device folder (devicefile.cpp)
// ---------------------------------------------------------------------------
//
// registry.reg, databases.txt, rom.txt and device.ini are all read here:
// opened without blocking, read only when they are regular files, taken
// without their byte order mark, split into numbered lines. What a module
// makes of its file is kept in a DeviceFile, made on first use and
// forgotten by ResetDevice.

// What the byte order mark at the start of a file said.
enum class TextMark { kNone, kUtf8, kUtf16LE, kUtf16BE };

// Removes a byte order mark (UTF-8, UTF-16LE or UTF-16BE) from the start
// of `bytes` and says which it was.
TextMark TakeByteOrderMark(std::string *bytes);

// One file of the device folder, read whole.
struct DeviceText {
  std::string name;  // as messages name it: "rom.txt"
  TextMark mark = TextMark::kNone;
  std::string bytes;  // without the mark
};

// Reads the file `name` of the device folder into *text. False when there
// is none to read: a missing file silently; anything but a regular file
// (a FIFO, a device, a folder) is said on standard error as
// "NAME: not a regular file", and a file that cannot be read as
// "NAME: cannot be read: REASON". It never waits on a FIFO or a device.
bool ReadDeviceFile(const std::string &name, DeviceText *text);

// The lines of a file's bytes, numbered from 1 for messages. A line ends at
// LF, CR LF or CR, which are not part of it; an end at the very end of the
// bytes starts no further line. Units are bytes, or UTF-16 code units of
// two bytes (the ends are then the units 0x000A and 0x000D).
class DeviceLines {
 public:
  enum Units { kBytes, kUtf16LE, kUtf16BE };
  explicit DeviceLines(std::string_view bytes, Units units = kBytes);
  // The next line's bytes; false after the last one.
  bool Next(std::string_view *line);
  // The number of the line Next gave last.
  int number() const { return number_; }
  // True when no line follows the one Next gave last.
  bool AtEnd() const { return next_ >= bytes_.size(); }

 private:
  // The unit at byte `at` (a byte, or a 16-bit unit).
  unsigned Unit(size_t at) const;
  std::string_view bytes_;
  Units units_;
  size_t width_;
  size_t next_ = 0;
  int number_ = 0;
};

// What a module makes of one file of the device folder: made on first Get
// by `load` - from the file's text, or from nullptr when there is none to
// read - and kept until ResetDevice, so the file is read once per device.
// The text is not kept; `load` may let go of its bytes early.
template <typename T>
class DeviceFile {
 public:
  using Loader = void (*)(DeviceText *text, T *made);
  DeviceFile(const char *name, Loader load) : name_(name), load_(load) {}
  T &Get() {
    if (!made_) {
      if (!registered_) {
        registered_ = true;
        OnDeviceReset([this] { made_.reset(); });
      }
      made_ = std::make_unique<T>();
      DeviceText text;
      bool present = ReadDeviceFile(name_, &text);
      load_(present ? &text : nullptr, made_.get());
    }
    return *made_;
  }
  // Forgets what was made; the next Get reads the file again.
  void Forget() { made_.reset(); }

 private:
  const char *name_;
  Loader load_;
  std::unique_ptr<T> made_;
  bool registered_ = false;
};

// ---------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------

// The device folder is a closed world: every device path is resolved
// inside the device root as if the root were "/". A link's absolute target
// starts again at the root, ".." in a target stops there, so no path and no
// link can reach a host file outside. Linux's openat2 with RESOLVE_IN_ROOT
// does exactly this; where the kernel lacks it, the same rules are followed
// one component at a time.
//
// Paths here are "root paths": host names below the device root joined by
// '/', without a leading '/' ("" is the root itself).

// Maps a device path to the root path of the same file. Device paths are
// case-insensitive and case-preserving, take '\' and '/' as separators, and
// are taken from the root when relative. Each existing component is matched
// without regard to case; components that do not exist yet are kept as
// given (so a new file is created with the case asked for). "." and ".."
// components are refused. Returns false, with the device's error code in
// *error, when the path is longer than MAX_PATH - 1 characters or cannot be
// mapped.
bool DeviceToRootPath(const WCHAR *devicePath, std::string *relative, DWORD *error);

// The root path of `devicePath` with every component taken as written,
// without looking at the host: what DeviceToRootPath gives when the file
// exists with exactly that case. Refuses what DeviceToRootPath refuses.
// Callers that open the path anyway try this first and fall back to
// DeviceToRootPath when nothing is there, which spares a lookup of the
// whole path for every file that is named as it is stored.
bool DeviceToExactRootPath(const WCHAR *devicePath, std::string *relative, DWORD *error);

// Opens a root path, resolved inside the root, with open(2)'s flags
// (O_CLOEXEC is added; O_NOFOLLOW leaves a final link unfollowed, so that
// O_PATH | O_NOFOLLOW opens the link itself). -1 with errno on failure.
int OpenInRoot(const std::string &relative, int flags, mode_t mode = 0);

// Opens (O_PATH) the folder that holds the last component of a root path,
// resolved inside the root, and gives that component in *name ("." for the
// root itself): for calls that act on a name rather than on what a link
// there leads to (mkdirat, unlinkat, renameat). -1 with errno when the
// folder cannot be reached.
int OpenParentInRoot(const std::string &relative, std::string *name);

// Tests: resolve one component at a time even where the kernel could (see
// platform_testing.h).
void ResolvePathsByHand(bool on);

// True when `rootPath` is the entry a directory search returned last and
// that entry was a regular file, not a link (find.cpp). A walk opens each
// file it lists right after, to take its checksum: such a file is opened
// at once, and what was opened is looked at after (never before) opening.
bool SearchJustSawFile(const std::string &rootPath);

// stat of a root path resolved inside the root; a final link is followed
// when `followLink`. False with errno on failure.
bool StatInRoot(const std::string &relative, bool followLink, struct stat *info);

// Converts between host names (UTF-8 bytes) and wide device text, which is
// UTF-16 as on the device: a character beyond U+FFFF is a surrogate pair of
// two WCHARs. A byte that is not valid UTF-8 becomes U+FFFD.
std::wstring HostNameToWide(const std::string &name);
std::string WideToHostName(const std::wstring &name);
// Append the converted `length` characters (bytes) to `out`.
void AppendHostName(const WCHAR *name, size_t length, std::string *out);
void AppendWideName(const char *name, size_t length, std::wstring *out);

// The same for names of files and folders, which also carry the characters
// a device file name cannot hold (\ : * ? " < > | and U+0001-U+001F): the
// device sees each as U+F000 plus its code, as Windows' own Linux subsystem
// shows them, and such a character is the host's own again on the way back.
void AppendWideFileName(const char *name, size_t length, std::wstring *out);
void AppendHostFileName(const WCHAR *name, size_t length, std::string *out);

// ---------------------------------------------------------------------------
// Writes held back (device/files.cpp)
// ---------------------------------------------------------------------------
//
// A file handle open only for writing holds back what WriteFile gives it,
// up to 64 KiB, and writes it to the host at once, as a device's file cache
// would: one host write for many of the program's. Whatever else looks at
// the file sees it as written: its held writes are settled before it is
// opened, read or listed by a search, before any file is moved or deleted,
// before its handle moves or closes, at exit, and at a signal that ends the
// process.

// Writes what every file handle holds back.
void SettleWrites();
// Writes what is held back for host file `device`/`inode`; true when there
// was something (so what was just read of that file is out of date).
bool SettleWritesTo(dev_t device, ino_t inode);

// ---------------------------------------------------------------------------
// ROM files
// ---------------------------------------------------------------------------

// The ROM attribute bits (FILE_ATTRIBUTE_INROM, FILE_ATTRIBUTE_ROMMODULE,
// FILE_ATTRIBUTE_ROMSTATICREF) that rom.txt of the device folder gives the
// file at `devicePath`, compared without regard to case; 0 when it is not in
// ROM. rom.txt is read once and forgotten on ResetDevice.
DWORD RomAttributes(const std::wstring &devicePath);

// True when rom.txt names no file at all (so lookups can be spared).
bool RomListEmpty();

// ---------------------------------------------------------------------------
// Code page
// ---------------------------------------------------------------------------

// The device's ANSI code page number (device.ini codepage=, else 1252).
unsigned DeviceCodePage();

// The device's upper case of one character: Latin (with Latin-1 and
// Latin Extended-A), Greek and Cyrillic letters; everything else unchanged.
WCHAR UpperChar(WCHAR c);

// Wide text to the device code page; characters the code page cannot hold
// become '?'. Sets *usedDefault when that happened.
std::string WideToAnsi(const WCHAR *wide, size_t length, bool *usedDefault = nullptr);
// The same into `out`, which has room for `length` bytes; true when a
// character became '?'.
bool WideToAnsiInto(const WCHAR *wide, size_t length, char *out);

// Device code page text to wide.
std::wstring AnsiToWide(const char *narrow, size_t length);

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

// What a failed host call was asked to do. The device names some failures
// by the request: a missing component is a missing file when the file
// itself was wanted but a missing path when a folder was, and so on.
enum class HostCall {
  kOther,         // everything not below
  kOpenFile,      // opening an existing file (open without O_CREAT)
  kCreateFile,    // opening a file that may be created (open with O_CREAT)
  kSeek,          // moving a file pointer (lseek)
  kNameInFolder,  // acting on a name in a folder that must exist: reaching
                  // that folder, mkdirat, renameat
  kSearchFolder,  // opening the folder of a directory search
};

// The device's error code for a host errno value from a call of `call`'s
// kind. Every host error becomes a device one here and nowhere else.
DWORD ErrorFromErrno(int error, HostCall call = HostCall::kOther);

// Fault injection for tests (platform_testing.h): the calls a test may
// make fail, each named in errors.cpp's table by its API name.
enum class Fault {
  kCreateFileW,
  kWriteFile,
  kLocalAlloc,
  kFindNextFileW,
  kRegEnumValueW,
  kCeOidGetInfo,
  kCloseHandle,
  kCount
};

// The device's error this call of `call` is to fail with, when it is one a
// test asked to fail; 0 when it goes ahead (and the call counts toward
// the failure asked for).
DWORD FaultHit(Fault call);

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

// Everything a HANDLE can stand for derives from this; CloseHandle deletes it.
struct KernelObject {
  virtual ~KernelObject() = default;
  // What must be done before the object goes (a file writes what it held
  // back); the device's error code when that failed, which CloseHandle
  // returns after closing the handle all the same.
  virtual DWORD Finish() { return ERROR_SUCCESS; }
};

HANDLE RegisterHandle(KernelObject *object);
// The object behind a handle, or nullptr when the handle is not open.
KernelObject *LookupHandle(HANDLE handle);
template <typename T>
T *LookupHandleAs(HANDLE handle) {
  return dynamic_cast<T *>(LookupHandle(handle));
}
// Closes a handle: forgets and deletes its object. False when not open.
bool ReleaseHandle(HANDLE handle);

// ---------------------------------------------------------------------------
// Windows (ui/)
// ---------------------------------------------------------------------------

// What a modal dialog writes on standard error when it cannot be shown for
// want of input (no terminal, no script): the program's own advice, given
// by start-up. Null, as in tests, writes nothing.
void SetNoInputHint(const char *text);

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------

// Host seconds and nanoseconds since 1970 (UTC) as a FILETIME.
FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds);

}  // namespace host

#endif  // TOVIK_PLATFORM_INTERNAL_H
