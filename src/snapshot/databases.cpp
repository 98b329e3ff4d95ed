/*
 * databases.cpp - the databases section of the snapshot.
 *
 * One line per object of the object store's enumeration:
 *
 *   B dd/MM/yyyy HH:mm SSSSSSSSSSSS RRRRRR name     a database
 *   F dd/MM/yyyy HH:mm SSSSSSSSSSSS name            a file
 *   D name                                          a directory
 *
 * S is the size in bytes, right-aligned in twelve places, R the record count
 * in six. Objects of other types are passed over.
 */
#include "snapshot/databases.h"

#include "output/output.h"
#include "resource.h"

/* Text of a date or time that cannot be formatted: the same width, so the
 * columns after it stay in place. */
#define UNKNOWN_DATE L"--/--/----"
#define UNKNOWN_TIME L"--:--"

/* Storage for one line; the section is written one object at a time. */
static CEOIDINFO g_info;                    /* the current object's information */
static WCHAR g_dateTime[12];                /* a formatted date or time */
static char g_narrowDateTime[12];           /* ... in its narrow form, always terminated */
static char g_number[32];                   /* a formatted size or record count */
static char g_narrowName[2 * MAX_PATH + 1]; /* a name when no copy can be allocated */

/* Writes a wide date or time text (ASCII digits and separators) narrow. */
static void PutDateTimeText(void) {
  memset(g_narrowDateTime, 0, sizeof g_narrowDateTime);
  ToNarrowFixed(g_dateTime, g_narrowDateTime, (int)sizeof g_narrowDateTime - 1);
  OutPutString(g_narrowDateTime);
}

/* Writes "dd/MM/yyyy HH:mm" of `time`, taken as it is stored (no time-zone
 * conversion). */
static void PutDateTime(const FILETIME *time) {
  SYSTEMTIME parts;
  int known = FileTimeToSystemTime(time, &parts) != 0;

  wcscpy(g_dateTime, UNKNOWN_DATE);
  if (known && !GetDateFormatW(LOCALE_USER_DEFAULT, 0, &parts, L"dd/MM/yyyy", g_dateTime, 12))
    wcscpy(g_dateTime, UNKNOWN_DATE);
  PutDateTimeText();
  OutPutString(" ");
  wcscpy(g_dateTime, UNKNOWN_TIME);
  if (known && !GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &parts, L"HH:mm", g_dateTime, 12))
    wcscpy(g_dateTime, UNKNOWN_TIME);
  PutDateTimeText();
}

/* Writes " %12u ": a size in bytes, unsigned, so sizes of 2 GB and more
 * show as they are rather than as negative numbers. */
static void PutSize(DWORD size) {
  sprintf(g_number, " %12u ", (unsigned int)size);
  OutPutString(g_number);
}

/* Shows `name` as the progress window's item, then writes it narrow and
 * ends the line. When memory is too short for the narrow copy, the name is
 * converted into a static buffer instead, so the line is still complete. */
static void PutName(HWND progressWindow, LPCWSTR name) {
  char *narrow;

  SetWindowTextW(GetDlgItem(progressWindow, IDC_ITEM), name);
  UpdateWindow(progressWindow);
  narrow = ToNarrowAlloc(name);
  if (narrow != NULL) {
    OutPutString(narrow);
    LocalFree(narrow);
  } else {
    memset(g_narrowName, 0, sizeof g_narrowName);
    ToNarrowFixed(name, g_narrowName, (int)sizeof g_narrowName - 1);
    OutPutString(g_narrowName);
  }
  OutPutString("\n");
}

/* Writes the line of the object in g_info, if it is of a kind that is
 * listed. The names are terminated here, whatever the record holds. */
static void PutObject(HWND progressWindow) {
  switch (g_info.wObjType) {
    case OBJTYPE_DATABASE:
      g_info.infDatabase.szDbaseName[CEDB_MAXDBASENAMELEN - 1] = 0;
      OutPutString("B ");
      PutDateTime(&g_info.infDatabase.ftLastModified);
      PutSize(g_info.infDatabase.dwSize);
      sprintf(g_number, "%6d ", (int)g_info.infDatabase.wNumRecords);
      OutPutString(g_number);
      PutName(progressWindow, g_info.infDatabase.szDbaseName);
      break;
    case OBJTYPE_FILE:
      g_info.infFile.szFileName[MAX_PATH - 1] = 0;
      OutPutString("F ");
      PutDateTime(&g_info.infFile.ftLastChanged);
      PutSize(g_info.infFile.dwLength);
      PutName(progressWindow, g_info.infFile.szFileName);
      break;
    case OBJTYPE_DIRECTORY:
      g_info.infDirectory.szDirName[MAX_PATH - 1] = 0;
      OutPutString("D ");
      PutName(progressWindow, g_info.infDirectory.szDirName);
      break;
    default:
      break;
  }
}

void DumpDatabases(HWND progressWindow) {
  HANDLE search;
  CEOID oid;

  search = CeFindFirstDatabase(0);
  if (search == INVALID_HANDLE_VALUE) return;
  while ((oid = CeFindNextDatabase(search)) != 0) {
    /* An object whose information cannot be read (it may have been deleted
     * since the enumeration found it) is passed over: the record would
     * still hold the previous object. */
    if (!CeOidGetInfo(oid, &g_info)) continue;
    PutObject(progressWindow);
  }
  CloseHandle(search);
}
