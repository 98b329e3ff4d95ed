/*
 * settings.h - the one global settings record and the run flags.
 */
#ifndef TOVIK_SETTINGS_H
#define TOVIK_SETTINGS_H

#include "platform.h"

#define MAX_EXCLUDES 10
#define EXCLUDE_CHARS 54
#define DEFAULT_PATH_CHARS 1024
#define CONFIG_PATH_CHARS 260

/* The patterns that keep files and directories out of the listing. */
typedef struct {
  WCHAR slots[MAX_EXCLUDES][EXCLUDE_CHARS]; /* pattern i in slot i, terminated */
  LONG count;                               /* patterns in use, 0..MAX_EXCLUDES */
} ExcludeList;

typedef struct {
  /* Each flag is 1 (on) or 0 (off); all are 1 at program start. */
  LONG registry;  /* write the registry section */
  LONG files;     /* write the file system section */
  LONG fileInRom; /* list files that lie in ROM */
  LONG crc32;     /* add the CRC column to file lines */
  LONG databases; /* write the databases section */
  LONG setup;     /* show the configuration dialog at start */
  ExcludeList excludes;
  WCHAR defaultPath[DEFAULT_PATH_CHARS]; /* prefix of generated snapshot names */
  WCHAR configPath[CONFIG_PATH_CHARS];   /* full path of the settings file */
  /* Run flags: how the configuration dialog ended. */
  LONG dialogCancelled; /* 1 until a button other than Cancel ends it */
  LONG runRequested;    /* 1 once "Save and run" was pressed */
} SettingsRecord;

extern SettingsRecord Settings;

/* The six flags, one row each, in the order the settings file writes them:
 * the keyword written before the flag's 1 or 0, the text the reader looks
 * for anywhere in an upper-cased line and the pattern it scans that line
 * with, the flag, and the configuration dialog's check box that shows it.
 * "FILEINROM" alone is searched without a trailing blank, so "FILEINROM0"
 * counts while "CRC320" does not. */
typedef struct {
  const char *name;
  LPCWSTR search;
  LPCWSTR pattern;
  LONG *flag;
  int box;
} SettingsFlag;

#define SETTINGS_FLAG_COUNT 6
extern const SettingsFlag SettingsFlags[SETTINGS_FLAG_COUNT];

#endif /* TOVIK_SETTINGS_H */
