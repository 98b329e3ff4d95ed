// errors.cpp - the last-error value, the one place where host errors become
// device error codes, and the fault injection that tests use.
#include <cerrno>
#include <map>
#include <string>

#include "internal.h"
#include "platform_testing.h"

namespace {
DWORD g_lastError = ERROR_SUCCESS;

struct Fault {
  int skip;   // calls still to pass before the first failure
  int count;  // failures still to give
};
std::map<std::string, Fault> &Faults() {
  static std::map<std::string, Fault> faults;
  return faults;
}
}  // namespace

DWORD GetLastError(void) { return g_lastError; }
void SetLastError(DWORD error) { g_lastError = error; }

void PlatformFailCall(const char *call, int nth, int count) {
  if (nth < 1 || count < 1) return;
  Faults()[call] = Fault{nth - 1, count};
}

void PlatformClearFaults(void) { Faults().clear(); }

void PlatformResetDevice(void) { host::ResetDevice(); }

void PlatformResolvePathsByHand(int on) { host::ResolvePathsByHand(on != 0); }

namespace host {

bool FaultHit(const char *call) {
  auto &faults = Faults();
  if (faults.empty()) return false;
  auto it = faults.find(call);
  if (it == faults.end()) return false;
  if (it->second.skip > 0) {
    --it->second.skip;
    return false;
  }
  if (--it->second.count == 0) faults.erase(it);
  return true;
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
