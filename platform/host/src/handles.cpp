// handles.cpp - kernel object handles (files, searches, database
// enumerations) and the local heap.
#include <unordered_set>

#include "internal.h"

namespace host {
namespace {
std::unordered_set<KernelObject *> &Open() {
  static std::unordered_set<KernelObject *> open;
  return open;
}

// The object last looked up and found open: a search or a file is used
// call after call, so most lookups end here.
KernelObject *g_last = nullptr;
}  // namespace

HANDLE RegisterHandle(KernelObject *object) {
  Open().insert(object);
  return static_cast<HANDLE>(object);
}

KernelObject *LookupHandle(HANDLE handle) {
  auto *object = static_cast<KernelObject *>(handle);
  if (object && object == g_last) return object;
  if (!Open().count(object)) return nullptr;
  g_last = object;
  return object;
}

bool ReleaseHandle(HANDLE handle) {
  auto *object = static_cast<KernelObject *>(handle);
  if (!Open().erase(object)) return false;
  if (object == g_last) g_last = nullptr;
  delete object;
  return true;
}

}  // namespace host

BOOL CloseHandle(HANDLE object) {
  host::KernelObject *open = host::LookupHandle(object);
  if (!open) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD error = open->Finish();
  if (error == ERROR_SUCCESS) error = host::FaultHit(host::Fault::kCloseHandle);
  host::ReleaseHandle(object);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  if (DWORD fault = host::FaultHit(host::Fault::kLocalAlloc)) {
    SetLastError(fault);
    return nullptr;
  }
  // Zero bytes still give a distinct block, as the device does.
  void *memory =
      (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
