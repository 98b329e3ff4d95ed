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

/*
 * The text is built before the file is opened: a text that does not fit
 * (or a conversion that finds no memory) leaves the existing file as it was
 * instead of replacing it with a cut one, which would lose settings. With
 * ten full patterns and the longest default path the text takes under 2 KB
 * in a single-byte code page, so this is a safeguard, not a limit users
 * meet. The file is opened in binary mode: the text already holds CR LF and
 * is written byte for byte, never with a second CR.
 */
int SaveSettings(LPCWSTR path) {
  char *narrowPath;
  FILE *file;
  int length = BuildSettingsText();
  size_t written;
  int closed;

  if (length < 0) return 0;
  narrowPath = ToNarrowAlloc(path);
  if (narrowPath == NULL) return 0;
  file = fopen(narrowPath, "wb");
  if (file == NULL) {
    LocalFree(narrowPath);
    return 0;
  }
  written = fwrite(g_text, 1, (size_t)length, file);
  LocalFree(narrowPath);
  closed = fclose(file);
  return written == (size_t)length && closed == 0 ? 1 : 0;
}
