// errors.cpp - the last-error value, the one place where host errors become
// device error codes, and the fault injection that tests use.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "internal.h"
#include "platform_testing.h"

namespace {
DWORD g_lastError = ERROR_SUCCESS;

// The calls a test may make fail, and how each fails: the device's error
// that the failed call reports. In the order of host::Fault.
struct Injectable {
  const char *name;
  DWORD error;
};
constexpr Injectable kInjectable[] = {
    {"CreateFileW", ERROR_ACCESS_DENIED},    {"WriteFile", ERROR_DISK_FULL},
    {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY}, {"FindNextFileW", ERROR_ACCESS_DENIED},
    {"RegEnumValueW", ERROR_ACCESS_DENIED},  {"CeOidGetInfo", ERROR_INVALID_PARAMETER},
    {"CloseHandle", ERROR_DISK_FULL},
};
constexpr size_t kInjectableCount = sizeof kInjectable / sizeof kInjectable[0];
static_assert(kInjectableCount == static_cast<size_t>(host::Fault::kCount),
              "every injectable call has its row");

struct Armed {
  int skip = 0;   // calls still to pass before the first failure
  int count = 0;  // failures still to give
};
Armed g_armed[kInjectableCount];
bool g_anyArmed = false;

// A test that asks for what cannot be done would pass without injecting
// anything: it is stopped on the spot instead.
[[noreturn]] void RefuseFault(const char *call, const char *why) {
  std::fprintf(stderr, "PlatformFailCall(\"%s\"): %s; injectable calls:", call ? call : "(null)",
               why);
  for (const Injectable &row : kInjectable) std::fprintf(stderr, " %s", row.name);
  std::fprintf(stderr, "\n");
  std::abort();
}
}  // namespace

DWORD GetLastError(void) { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

void PlatformFailCall(const char *call, int nth, int count) {
  size_t i = 0;
  while (i < kInjectableCount && !(call && std::strcmp(call, kInjectable[i].name) == 0)) ++i;
  if (i == kInjectableCount) RefuseFault(call, "no such injectable call");
  if (nth < 1 || count < 1) RefuseFault(call, "nth and count start at 1");
  g_armed[i] = Armed{nth - 1, count};
  g_anyArmed = true;
}

void PlatformClearFaults(void) {
  for (Armed &armed : g_armed) armed = Armed{};
  g_anyArmed = false;
}

void PlatformResetDevice(void) { host::ResetDevice(); }

void PlatformResolvePathsByHand(int on) { host::ResolvePathsByHand(on != 0); }

namespace host {

DWORD FaultHit(Fault call) {
  if (!g_anyArmed) return 0;
  Armed &armed = g_armed[static_cast<size_t>(call)];
  if (armed.count == 0) return 0;
  if (armed.skip > 0) {
    --armed.skip;
    return 0;
  }
  --armed.count;
  return kInjectable[static_cast<size_t>(call)].error;
}

namespace {

// What the device says for `error` where the kind of call decides it; 0
// where the kind makes no difference.
DWORD ErrorForCall(int error, HostCall call) {
  switch (call) {
    case HostCall::kOther:
      return 0;
    case HostCall::kCreateFile:
      if (error == ENOENT) return ERROR_PATH_NOT_FOUND;  // its folder is missing
      [[fallthrough]];
    case HostCall::kOpenFile:
      if (error == ENXIO) return ERROR_ACCESS_DENIED;  // a FIFO without a peer, a device node
      if (error == EEXIST) return ERROR_FILE_EXISTS;   // CREATE_NEW on an existing file
      return 0;
    case HostCall::kSeek:
      return error == EINVAL ? ERROR_NEGATIVE_SEEK : 0;
    case HostCall::kNameInFolder:
      return error == ENOENT ? ERROR_PATH_NOT_FOUND : 0;
    case HostCall::kSearchFolder:
      // A folder that cannot be searched is denied; any other failure means
      // there is no such folder to search.
      return error == EACCES || error == EPERM ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  return 0;
}

}  // namespace

DWORD ErrorFromErrno(int error, HostCall call) {
  if (DWORD special = ErrorForCall(error, call)) return special;
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ELOOP:
      return ERROR_CANTOPEN;
    case EIO:
      return ERROR_WRITE_FAULT;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

}  // namespace host
