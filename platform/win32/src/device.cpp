// device.cpp - what desktop Windows lacks of Windows CE: the object store,
// the ROM attribute bits and the parts of the device's C runtime that the
// desktop runtime gives another meaning (see platform.h).
#include "platform.h"

// ===========================================================================
// Object store: desktop Windows has none, so an enumeration cannot start.
// ===========================================================================

HANDLE CeFindFirstDatabase(DWORD databaseType) {
  (void)databaseType;
  SetLastError(ERROR_NOT_SUPPORTED);
  return INVALID_HANDLE_VALUE;
}

CEOID CeFindNextDatabase(HANDLE enumeration) {
  (void)enumeration;
  SetLastError(ERROR_NO_MORE_ITEMS);
  return 0;
}

BOOL CeOidGetInfo(CEOID oid, CEOIDINFO *info) {
  (void)oid;
  if (info != NULL) info->wObjType = OBJTYPE_INVALID;
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// ===========================================================================
// Find-file entries as the device's: without the desktop bits that share the
// ROM bits' values, and with no way into a folder through a link.
// ===========================================================================

// A reparse point (a junction, a symbolic link to a folder) loses the
// directory attribute: a walk lists it as an entry and never enters it, so
// links that loop or fan out cannot make it endless or exponential.
static void AsOnTheDevice(LPWIN32_FIND_DATAW findData) {
  DWORD attributes = findData->dwFileAttributes & ~(DWORD)TOVIK_ROM_ATTRIBUTES;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) attributes &= ~(DWORD)FILE_ATTRIBUTE_DIRECTORY;
  findData->dwFileAttributes = attributes;
}

HANDLE ce_FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  HANDLE found = FindFirstFileW(fileName, findData);
  if (found != INVALID_HANDLE_VALUE) AsOnTheDevice(findData);
  return found;
}

BOOL ce_FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData) {
  if (!FindNextFileW(findFile, findData)) return FALSE;
  AsOnTheDevice(findData);
  return TRUE;
}

// ===========================================================================
// Registry keys opened as on a device without security.
// ===========================================================================

LONG ce_RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  return RegOpenKeyExW(key, subKey, options, desired == 0 ? KEY_READ : desired, result);
}

// ===========================================================================
// The device's C runtime
// ===========================================================================

// Reads one line of narrow text in the ANSI code page: at most maxChars - 1
// characters, the line feed kept, as fgets reads bytes (the code page is a
// single-byte one on the device, so bytes and characters count alike).
// Returns `line`, or null at the end of the stream or on a read error.
WCHAR *ce_fgetws(WCHAR *line, int maxChars, FILE *stream) {
  char narrow[1024];
  int capacity = maxChars;
  if (line == NULL || maxChars <= 0 || stream == NULL) return NULL;
  if (capacity > (int)sizeof narrow) capacity = (int)sizeof narrow;
  if (fgets(narrow, capacity, stream) == NULL) return NULL;
  int bytes = (int)strlen(narrow);
  int chars = MultiByteToWideChar(CP_ACP, 0, narrow, bytes, line, maxChars - 1);
  if (chars < 0) chars = 0;
  line[chars] = 0;
  return line;
}

// Converts to the ANSI code page, '?' for a character it lacks. With a null
// `narrow`, returns the bytes the whole text needs (without the
// terminator); else writes at most `narrowBytes` bytes, a terminator only
// when it fits, and returns the bytes written before the terminator.
size_t ce_wcstombs(char *narrow, const WCHAR *wide, size_t narrowBytes) {
  if (wide == NULL) return (size_t)-1;
  int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL);
  if (needed <= 0) return (size_t)-1;
  size_t length = (size_t)needed - 1;
  if (narrow == NULL) return length;
  if (narrowBytes > length) {
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, needed, NULL, NULL);
    return length;
  }
  // Too small for the whole text and its terminator: the first narrowBytes
  // characters (one byte each in a single-byte code page), no terminator.
  int taken =
      WideCharToMultiByte(CP_ACP, 0, wide, (int)narrowBytes, narrow, (int)narrowBytes, NULL, NULL);
  return taken < 0 ? 0 : (size_t)taken;
}

// Upper-cases `text` in place with the system's case tables.
WCHAR *ce_wcsupr(WCHAR *text) {
  if (text != NULL) CharUpperBuffW(text, (DWORD)wcslen(text));
  return text;
}
