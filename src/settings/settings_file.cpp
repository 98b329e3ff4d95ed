/*
 * settings_file.cpp - reading and writing the settings file.
 */
#include "settings/settings_file.h"

#include "output/output.h"
#include "settings/exclude.h"
#include "settings/settings.h"

/* A value is every character from U+0020 (space) through U+044F (Cyrillic
 * small letter ya): it ends at a tab, CR, line feed or anything above, and
 * keeps inner and trailing blanks. The "ws" after the set is plain text. */
static const WCHAR g_excludePattern[] = L"EXCLUDE %[ -\u044f]ws";
static const WCHAR g_defaultPathPattern[] = L"DEFAULT_PATH %[ -\u044f]ws";

static WCHAR g_line[SETTINGS_LINE_CHARS];
static WCHAR g_value[SETTINGS_LINE_CHARS];
static char g_text[SETTINGS_TEXT_BYTES];

int LoadSettings(LPCWSTR path) {
  char *narrowPath = ToNarrowAlloc(path);
  FILE *file;
  unsigned int number;
  int i;

  if (narrowPath == NULL) return 0;
  file = fopen(narrowPath, "r");
  if (file == NULL) {
    LocalFree(narrowPath);
    return 0;
  }
  while (fgetws(g_line, SETTINGS_LINE_CHARS, file) != NULL) {
    _wcsupr(g_line);
    for (i = 0; i < SETTINGS_FLAG_COUNT; ++i) {
      if (wcsstr(g_line, SettingsFlags[i].search) == NULL) continue;
      number = 1;
      if (swscanf(g_line, SettingsFlags[i].pattern, &number) == 1 && number == 0)
        *SettingsFlags[i].flag = 0;
    }

    /* A pattern longer than a slot is refused by ExcludeAdd, as are those
     * beyond the tenth. */
    memset(g_value, 0, sizeof(g_value));
    if (wcsstr(g_line, L"EXCLUDE ") != NULL && swscanf(g_line, g_excludePattern, g_value) == 1 &&
        g_value[0] != 0)
      ExcludeAdd(g_value);

    /* At most 255 - 13 characters: always fits defaultPath. */
    memset(g_value, 0, sizeof(g_value));
    if (wcsstr(g_line, L"DEFAULT_PATH ") != NULL &&
        swscanf(g_line, g_defaultPathPattern, g_value) == 1 && g_value[0] != 0)
      wcscpy(Settings.defaultPath, g_value);
    memset(g_value, 0, sizeof(g_value));
  }
  LocalFree(narrowPath);
  fclose(file);
  return 1;
}

/* Appends `piece` to the settings text at *length. Returns 1, or 0 when it
 * does not fit (the text is then left as it was). */
static int AppendText(int *length, const char *piece) {
  size_t size = strlen(piece);
  if (size > (size_t)(SETTINGS_TEXT_BYTES - *length)) return 0;
  memcpy(g_text + *length, piece, size);
  *length += (int)size;
  return 1;
}

/* Appends a keyword, the narrow form of `wide` and CR LF. */
static int AppendWideLine(int *length, const char *keyword, LPCWSTR wide) {
  char *narrow = ToNarrowAlloc(wide);
  int ok;
  if (narrow == NULL) return 0;
  ok = AppendText(length, keyword) && AppendText(length, narrow) && AppendText(length, "\r\n");
  LocalFree(narrow);
  return ok;
}

/* Builds the whole settings text into g_text. Returns its length, or -1
 * when it does not fit or memory is short. The text is copied as data, so
 * a '%' in a pattern or path is written as '%'. */
static int BuildSettingsText(void) {
  int length = 0;
  int i;

  for (i = 0; i < SETTINGS_FLAG_COUNT; ++i)
    if (!AppendText(&length, SettingsFlags[i].name) ||
        !AppendText(&length, *SettingsFlags[i].flag == 1 ? "1\r\n" : "0\r\n"))
      return -1;
  for (i = 0; i < Settings.excludes.count; ++i)
    if (!AppendWideLine(&length, "Exclude ", Settings.excludes.slots[i])) return -1;
  if (!AppendWideLine(&length, "Default_path ", Settings.defaultPath)) return -1;
  return length;
}

/* Writes the `length` bytes of the settings text to a new file at the
 * wide `path`. Returns 1 when all of them reached the file and it was
 * closed, else 0. */
static int WriteSettingsText(LPCWSTR path, int length) {
  char *narrowPath = ToNarrowAlloc(path);
  FILE *file;
  size_t written;
  int closed;
  if (narrowPath == NULL) return 0;
  file = fopen(narrowPath, "wb");
  LocalFree(narrowPath);
  if (file == NULL) return 0;
  written = fwrite(g_text, 1, (size_t)length, file);
  closed = fclose(file);
  return written == (size_t)length && closed == 0 ? 1 : 0;
}

/* Puts the whole new text in place of the settings file. Returns 1 when
 * it stands at `path`, else 0, the file at `path` then being the old one
 * (or none, if there was none). */
static int ReplaceSettingsFile(LPCWSTR path, int length) {
  static WCHAR newPath[MAX_PATH + 4];
  BOOL removed;
  if (wcslen(path) + 4 >= sizeof(newPath) / sizeof(newPath[0])) return 0;
  wcscpy(newPath, path);
  wcscat(newPath, L".new");
  if (!WriteSettingsText(newPath, length)) {
    DeleteFileW(newPath);
    return 0;
  }
  /* The new text is whole on the disk: only now does the old file go. The
   * device's MoveFileW does not replace an existing file. */
  removed = DeleteFileW(path);
  if (MoveFileW(newPath, path)) return 1;
  /* An old file that could not be removed stays, and the new one goes. One
   * that was removed leaves the new one as the only copy: it is kept. */
  if (!removed) DeleteFileW(newPath);
  return 0;
}

/*
 * The text is built before any file is touched and written whole to a new
 * file beside the settings file, which then takes its place: a text that
 * does not fit, a conversion that finds no memory, or a disk that takes
 * only part of it leaves the existing file as it was instead of replacing
 * it with an empty or cut one, which would lose settings. With ten full
 * patterns and the longest default path the text takes under 2 KB in a
 * single-byte code page, so the size is a safeguard, not a limit users
 * meet. The file is written in binary mode: the text already holds CR LF
 * and is written byte for byte, never with a second CR.
 *
 * A failed save is said with a message box; the run goes on with the
 * settings in memory.
 */
int SaveSettings(LPCWSTR path) {
  int length = BuildSettingsText();
  if (length >= 0 && ReplaceSettingsFile(path, length)) return 1;
  MessageBoxW(NULL, L"Settings writing error", L"", MB_OK);
  return 0;
}
