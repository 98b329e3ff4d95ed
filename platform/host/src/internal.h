// internal.h - what the pieces of the host platform layer share.
//
// The device is a folder (see device.cpp); everything that turns a device
// request into a host one - paths, code page, errors, handles - lives here so
// that each API file stays a thin translation of one family of calls.
#ifndef TOVIK_PLATFORM_INTERNAL_H
#define TOVIK_PLATFORM_INTERNAL_H

#include <cstdint>
#include <string>

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
void OnDeviceReset(void (*forget)());

// A malformed line in one of the device folder's files: "file:line: message"
// on standard error. The rest of the file is used.
void ReportMalformed(const std::string &file, int line, const std::string &message);

// A device property from device.ini ("" when absent).
std::string DeviceProperty(const std::string &name);

// ---------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------

// Maps a device path to the host path of the same file. Device paths are
// case-insensitive and case-preserving, take '\' and '/' as separators, and
// are taken from the root when relative. Each existing component is matched
// without regard to case; components that do not exist yet are kept as
// given (so a new file is created with the case asked for). "." and ".."
// components are refused, so nothing outside the device can be reached.
// Returns false, with the device's error code in *error, when the path is
// longer than MAX_PATH - 1 characters or cannot be mapped.
bool DeviceToHostPath(const WCHAR *devicePath, std::string *hostPath, DWORD *error);

// The host path of `devicePath` with every component taken as written,
// without looking at the host: what DeviceToHostPath gives when the file
// exists with exactly that case. Refuses what DeviceToHostPath refuses.
// Callers that look at the host path anyway (stat, open) try this first and
// fall back to DeviceToHostPath when nothing is there, which spares a
// lookup of the whole path for every file that is named as it is stored.
bool DeviceToExactHostPath(const WCHAR *devicePath, std::string *hostPath, DWORD *error);

// Converts between host file names (UTF-8 bytes) and wide device names. A
// byte that is not valid UTF-8 becomes U+FFFD.
std::wstring HostNameToWide(const std::string &name);
std::string WideToHostName(const std::wstring &name);
// Append the converted `length` characters (bytes) to `out`.
void AppendHostName(const WCHAR *name, size_t length, std::string *out);
void AppendWideName(const char *name, size_t length, std::wstring *out);

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

// The device's error code for a host errno value.
DWORD ErrorFromErrno(int error);

// Fault injection for tests: true when this call of `call` is one that a
// test asked to fail (see platform_testing.h).
bool FaultHit(const char *call);

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

// Everything a HANDLE can stand for derives from this; CloseHandle deletes it.
struct KernelObject {
  virtual ~KernelObject() = default;
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
// Time
// ---------------------------------------------------------------------------

// Host seconds and nanoseconds since 1970 (UTC) as a FILETIME.
FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds);

}  // namespace host

#endif  // TOVIK_PLATFORM_INTERNAL_H
