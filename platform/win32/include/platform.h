/*
 * platform.h - the system interface of the device, as the program sees it,
 * for a build on desktop Windows (mingw-w64).
 *
 * The program includes this one header for every system call. On Windows
 * the calls are the real ones from <windows.h> and <shlobj.h>; this header
 * adds only what desktop Windows lacks of Windows CE:
 *
 *  - the object store (CeFindFirstDatabase, CeFindNextDatabase,
 *    CeOidGetInfo and the CEOIDINFO records). Desktop Windows has no object
 *    store, so the enumeration cannot be started: CeFindFirstDatabase
 *    returns INVALID_HANDLE_VALUE, exactly as on a device without one;
 *  - the ROM attribute bits of find-file entries (FILE_ATTRIBUTE_INROM,
 *    FILE_ATTRIBUTE_ROMSTATICREF, FILE_ATTRIBUTE_ROMMODULE). Desktop Windows
 *    gives other meanings to 0x40 (DEVICE), 0x1000 (OFFLINE) and 0x2000
 *    (NOT_CONTENT_INDEXED), which the file listing would then take for ROM
 *    markers; see TOVIK_ROM_ATTRIBUTES below. The same wrappers take the
 *    directory attribute from reparse points (junctions, symbolic links to
 *    folders), so that a walk lists them and never enters them;
 *  - SHGetSpecialFolderPath, which is the shell's SHGetSpecialFolderPathW;
 *  - registry keys without access checks. Windows CE has no security: the
 *    access mask of RegOpenKeyExW is reserved and 0, and every key opened
 *    can be read. Desktop Windows checks the mask, and a key opened with 0
 *    cannot be enumerated (ERROR_ACCESS_DENIED). ce_RegOpenKeyExW opens
 *    with KEY_READ when 0 is asked for;
 *  - WinMain with a wide command line (see "Start-up" below).
 *
 * The device's C runtime
 * ----------------------
 * The program calls a few C runtime functions whose device meaning the
 * desktop runtime gives only in part. As on other hosts, the program's own
 * files are compiled with TOVIK_DEVICE_CRT, and there the device names are
 * macros for `ce_` functions; everywhere else (tests) the `ce_` names are
 * called directly. On Windows the `ce_` names are:
 *
 *  - ce_fopen and ce_fclose: the runtime's fopen and fclose (a narrow path
 *    in the ANSI code page, as on the device), on the runtime's FILE;
 *  - ce_sprintf and ce_swscanf: the Microsoft runtime's sprintf and
 *    swscanf, called through mingw-w64's __ms_ names. mingw-w64's C++
 *    headers otherwise route both to its own C99 versions, where `%s` and
 *    `%[` in the wide scanf family mean narrow strings; on the device they
 *    mean wide ones;
 *  - ce_fgetws and ce_wcstombs: the device's runtime converts with the ANSI
 *    code page and puts '?' for a character that code page lacks; the
 *    desktop runtime's "C" locale maps bytes to the first 256 characters and
 *    fails on others. Both are built on MultiByteToWideChar /
 *    WideCharToMultiByte with CP_ACP;
 *  - _wcsupr (as ce_wcsupr): the device upper-cases every letter that has
 *    an upper case (Latin, Greek, Cyrillic, ...); the desktop runtime's "C"
 *    locale upper-cases a to z only. It is built on CharUpperBuffW.
 *
 * wsprintfW is user32's on both, with `%s` a wide string.
 *
 * Start-up
 * --------
 * On the device WinMain receives the command line as a wide string. Desktop
 * Windows declares WinMain with a narrow one and calls wWinMain for wide
 * programs. The program's WinMain is therefore renamed TovikWinMain here,
 * and platform/win32/src/entry.cpp holds the wWinMain that calls it (the
 * build links with -municode).
 */
#ifndef TOVIK_PLATFORM_H
#define TOVIK_PLATFORM_H

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <shlobj.h>

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

/* ===================================================================== */
/* Find-file attributes of Windows CE                                     */
/* ===================================================================== */

/*
 * Desktop Windows has no ROM. Its own attribute bits with these values
 * (DEVICE, OFFLINE, NOT_CONTENT_INDEXED) say nothing about ROM, and
 * FindFirstFileW and FindNextFileW here clear them, so that no file of a
 * desktop disk is taken for a ROM file (see the wrappers below).
 */
#define FILE_ATTRIBUTE_INROM 0x00000040
#define FILE_ATTRIBUTE_ROMSTATICREF 0x00001000
#define FILE_ATTRIBUTE_ROMMODULE 0x00002000
#define TOVIK_ROM_ATTRIBUTES \
  (FILE_ATTRIBUTE_INROM | FILE_ATTRIBUTE_ROMSTATICREF | FILE_ATTRIBUTE_ROMMODULE)

HANDLE ce_FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
BOOL ce_FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData);

/* ===================================================================== */
/* Registry                                                               */
/* ===================================================================== */

/* RegOpenKeyExW with the device's meaning of access 0 (read access). */
LONG ce_RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);

/* ===================================================================== */
/* Object store                                                           */
/* ===================================================================== */

#include "ceobjstore.h"

/* No object store: INVALID_HANDLE_VALUE with ERROR_NOT_SUPPORTED. */
HANDLE CeFindFirstDatabase(DWORD databaseType);
/* No object store: 0 with ERROR_NO_MORE_ITEMS. */
CEOID CeFindNextDatabase(HANDLE enumeration);
/* No object store: FALSE with ERROR_INVALID_PARAMETER. */
BOOL CeOidGetInfo(CEOID oid, CEOIDINFO *info);

/* ===================================================================== */
/* Shell                                                                  */
/* ===================================================================== */

#ifdef SHGetSpecialFolderPath
#undef SHGetSpecialFolderPath
#endif
#define SHGetSpecialFolderPath SHGetSpecialFolderPathW

/* ===================================================================== */
/* The device's C runtime (see the note at the top)                      */
/* ===================================================================== */

typedef FILE ce_FILE;
#define ce_fopen fopen
#define ce_fclose fclose
#define ce_sprintf __ms_sprintf
#define ce_swscanf __ms_swscanf
WCHAR *ce_fgetws(WCHAR *line, int maxChars, FILE *stream);
size_t ce_wcstombs(char *narrow, const WCHAR *wide, size_t narrowBytes);
WCHAR *ce_wcsupr(WCHAR *text);

#ifdef TOVIK_DEVICE_CRT
#define fgetws ce_fgetws
#define wcstombs ce_wcstombs
#define swscanf ce_swscanf
#define sprintf ce_sprintf
#define _wcsupr ce_wcsupr
#define FindFirstFileW ce_FindFirstFileW
#define FindNextFileW ce_FindNextFileW
#define RegOpenKeyExW ce_RegOpenKeyExW
#endif

/* ===================================================================== */
/* Start-up (see the note at the top)                                     */
/* ===================================================================== */

#define WinMain TovikWinMain
int WINAPI TovikWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                        int showCommand);

#endif /* TOVIK_PLATFORM_H */
