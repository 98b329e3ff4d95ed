// shell.cpp - the shell's special folders.
#include "internal.h"

BOOL SHGetSpecialFolderPath(HWND /*owner*/, LPWSTR path, int folder, BOOL create) {
  const WCHAR *device = nullptr;
  switch (folder) {
    case CSIDL_PERSONAL:
      device = L"\\My Documents";
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  std::wcscpy(path, device);
  if (create) CreateDirectoryW(device, nullptr);
  return TRUE;
}
