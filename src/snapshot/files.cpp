/*
 * files.cpp - the file system section of the snapshot.
 *
 * Every directory from the given one down, depth first: a header line
 * "[path]" ("[]" for the root), then one line per file:
 *
 *   dd/MM/yyyy HH:mm MMM SSSSSSSSSS CCCCCCCC name
 *
 * the creation date and time (UTC, as the file system keeps them), " R " for
 * a file in ROM or three spaces, the size right-aligned in ten places and a
 * space, the checksum in eight hex digits and a space when the crc32 flag is
 * set, and the name. Each directory is searched twice: once for its files,
 * once for its subdirectories, which follow in the order the file system
 * gives them, each with its whole subtree.
 *
 * Storage for the walk. The walk recurses once per directory level, and the
 * depth is bounded only by the 260-character limit on a search pattern
 * (some 128 levels of one-letter names). To keep every level's stack frame a
 * few words, the large buffers are static and shared by all levels:
 *  - the search pattern, the file's full path, the find-data record, the
 *    date/time text and the number text are each used only between two
 *    recursive calls, never across one, so one of each serves every level;
 *  - the directory path is one static buffer that each level extends by a
 *    subdirectory's name for the call below it and cuts back to its own
 *    length afterwards, so the path a level was called with is intact again
 *    whenever that level looks at it.
 * Only the find handle and the path's length live in each level's frame.
 */
#include "snapshot/files.h"

#include "output/output.h"
#include "resource.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "snapshot/crc32.h"

#define WALK_PATH_CHARS 1024
#define NUMBER_BYTES 256
#define DATE_CHARS 12
#define STAMP_BYTES 32
#define FILETIME_TICKS_PER_MINUTE 600000000ULL /* 100-nanosecond ticks */
#define ROM_ATTRIBUTES \
  (FILE_ATTRIBUTE_INROM | FILE_ATTRIBUTE_ROMMODULE | FILE_ATTRIBUTE_ROMSTATICREF)

static WCHAR g_walkPath[WALK_PATH_CHARS]; /* the directory being listed */
static WCHAR g_pattern[WALK_PATH_CHARS];  /* its search pattern, path "\*.*" */
static WCHAR g_filePath[WALK_PATH_CHARS]; /* path "\" name of the current file */
static WIN32_FIND_DATAW g_found;          /* the entry the search returned */
static WCHAR g_dateTime[DATE_CHARS];      /* date or time of the entry */
static char g_number[NUMBER_BYTES];       /* narrow text of a date, size or crc */
static char g_stamp[STAMP_BYTES];         /* date and time of the last minute shown */
static ULONGLONG g_stampMinute;           /* that minute, in minutes since 1601 */
static int g_stampValid;                  /* 1 once g_stamp holds a minute */

/* Writes `wide` in the device code page. Nothing is written when memory
 * for the narrow copy is short. */
static void PutWide(LPCWSTR wide) {
  char *narrow = ToNarrowAlloc(wide);
  if (narrow == NULL) return;
  OutPutString(narrow);
  LocalFree(narrow);
}

/* Appends the short wide text in g_dateTime (digits and separators) to
 * g_stamp. */
static void AppendDateTime(void) {
  ToNarrowFixed(g_dateTime, g_number, NUMBER_BYTES - 1);
  g_number[NUMBER_BYTES - 1] = 0;
  strncat(g_stamp, g_number, STAMP_BYTES - 1 - strlen(g_stamp));
}

/* Writes the creation date and time of g_found, "dd/MM/yyyy HH:mm". Files
 * made together share their minute, so the text of the last minute shown
 * is kept and written again while the minute is the same: the formatting
 * gives the same text for every time within one minute. */
static void PutCreated(void) {
  SYSTEMTIME created;
  ULONGLONG minute = (((ULONGLONG)g_found.ftCreationTime.dwHighDateTime << 32) |
                      g_found.ftCreationTime.dwLowDateTime) /
                     FILETIME_TICKS_PER_MINUTE;
  if (!g_stampValid || minute != g_stampMinute) {
    if (!FileTimeToSystemTime(&g_found.ftCreationTime, &created))
      memset(&created, 0, sizeof created);
    g_stamp[0] = 0;
    g_dateTime[0] = 0;
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, &created, L"dd/MM/yyyy", g_dateTime, DATE_CHARS);
    AppendDateTime();
    strncat(g_stamp, " ", STAMP_BYTES - 1 - strlen(g_stamp));
    g_dateTime[0] = 0;
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &created, L"HH:mm", g_dateTime, DATE_CHARS);
    AppendDateTime();
    g_stampMinute = minute;
    g_stampValid = 1;
  }
  OutPutString(g_stamp);
}

/* Writes the line of the file in g_found, whose directory is g_walkPath of
 * `pathLength` characters. */
static void PutFileLine(size_t pathLength, int inRom) {
  ULONGLONG size;

  PutCreated();
  OutPutString(inRom ? " R " : "   ");

  /* The whole size, unsigned and 64-bit: a file of 2 GiB or more shows
   * its true size, not a negative or cut one. */
  size = ((ULONGLONG)g_found.nFileSizeHigh << 32) | g_found.nFileSizeLow;
  sprintf(g_number, "%10I64u ", size);
  OutPutString(g_number);

  if (Settings.crc32) {
    /* The checksum opens the file by its wide path, so a name the code
     * page cannot hold is still found. A path that does not fit gives 0
     * as a file that cannot be opened does (it cannot occur within the
     * device's path limit). */
    DWORD crc = 0;
    if (pathLength + 1 + wcslen(g_found.cFileName) < WALK_PATH_CHARS) {
      wcscpy(g_filePath, g_walkPath);
      g_filePath[pathLength] = L'\\';
      wcscpy(g_filePath + pathLength + 1, g_found.cFileName);
      crc = FileCrc32(g_filePath);
    }
    sprintf(g_number, "%08lX ", crc);
    OutPutString(g_number);
  }
  PutWide(g_found.cFileName);
  OutPutString("\n");
}

void DumpDirectory(HWND progressWindow, LPCWSTR path) {
  HANDLE search;
  size_t pathLength;
  size_t nameLength;
  int inRom;

  if (IsExcluded(path)) return;

  /* The top call brings its own path; the calls below it are handed
   * g_walkPath itself. A path that does not fit the walk's buffers cannot
   * come from the device, whose paths are far shorter; it still gets its
   * header but is not searched. */
  pathLength = wcslen(path);
  if (path != g_walkPath) {
    if (pathLength < WALK_PATH_CHARS) wcscpy(g_walkPath, path);
    g_stampValid = 0; /* each listing formats its first time afresh */
  }

  OutPutString("[");
  PutWide(path);
  OutPutString("]\n");

  SetWindowTextW(GetDlgItem(progressWindow, IDC_ITEM), path);
  UpdateWindow(progressWindow);

  if (pathLength + 4 >= WALK_PATH_CHARS) return;
  wcscpy(g_pattern, g_walkPath);
  wcscat(g_pattern, L"\\*.*");

  /* Files. */
  search = FindFirstFileW(g_pattern, &g_found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (g_found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (IsExcluded(g_found.cFileName)) continue;
      inRom = (g_found.dwFileAttributes & ROM_ATTRIBUTES) != 0;
      if (inRom && !Settings.fileInRom) continue;
      PutFileLine(pathLength, inRom);
    } while (FindNextFileW(search, &g_found));
    FindClose(search);
  }

  /* Subdirectories. g_pattern is still this directory's: listing the
   * files does not descend. */
  search = FindFirstFileW(g_pattern, &g_found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(g_found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    /* The device yields no "." or ".."; should a file system do so, they
     * are not entered. */
    if (wcscmp(g_found.cFileName, L".") == 0 || wcscmp(g_found.cFileName, L"..") == 0) continue;
    nameLength = wcslen(g_found.cFileName);
    if (pathLength + 1 + nameLength >= WALK_PATH_CHARS) continue;
    g_walkPath[pathLength] = L'\\';
    wcscpy(g_walkPath + pathLength + 1, g_found.cFileName);
    DumpDirectory(progressWindow, g_walkPath);
    g_walkPath[pathLength] = 0;
  } while (FindNextFileW(search, &g_found));
  FindClose(search);
}
