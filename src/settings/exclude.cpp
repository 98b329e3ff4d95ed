/*
 * exclude.cpp - the exclusion list of the settings record.
 *
 * Patterns are stored as given: those read from the settings file are upper
 * case, those typed in the dialog keep the case typed. The test upper-cases
 * both the tested text and the pattern, so a pattern typed in lower case
 * excludes what it names in the very run that follows the dialog.
 */
#include "settings/exclude.h"

#include "settings/settings.h"

int ExcludeAdd(LPCWSTR pattern) {
  size_t length = wcslen(pattern);
  if (Settings.excludes.count >= MAX_EXCLUDES) return 0;
  if (length == 0 || length >= EXCLUDE_CHARS) return 0;
  wcscpy(Settings.excludes.slots[Settings.excludes.count], pattern);
  Settings.excludes.count++;
  return 1;
}

int ExcludeRemove(int index) {
  int i;
  if (index < 0 || index >= Settings.excludes.count) return 0;
  for (i = index; i + 1 < Settings.excludes.count; ++i)
    wcscpy(Settings.excludes.slots[i], Settings.excludes.slots[i + 1]);
  Settings.excludes.count--;
  Settings.excludes.slots[Settings.excludes.count][0] = 0;
  return 1;
}

int IsExcluded(LPCWSTR text) {
  static WCHAR upper[EXCLUDE_TEXT_CHARS];
  static WCHAR pattern[EXCLUDE_CHARS];
  int i;

  wcsncpy(upper, text, EXCLUDE_TEXT_CHARS - 1);
  upper[EXCLUDE_TEXT_CHARS - 1] = 0;
  _wcsupr(upper);
  for (i = 0; i < Settings.excludes.count; ++i) {
    wcscpy(pattern, Settings.excludes.slots[i]);
    _wcsupr(pattern);
    if (wcsstr(upper, pattern) != NULL) return 1;
  }
  return 0;
}
