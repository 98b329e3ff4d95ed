/*
 * run.h - start-up and the snapshot run.
 */
#ifndef TOVIK_RUN_H
#define TOVIK_RUN_H

#include "platform.h"

#define OUTPUT_PATH_CHARS 260

/* Locates and loads the settings and, when Setup is on, shows the
 * configuration dialog. Returns 1 to take the snapshot now, 0 when the
 * settings were saved without running, -1 when the dialog was cancelled. */
int PrepareRun(HINSTANCE instance);

/* Builds the snapshot's path into `path` (OUTPUT_PATH_CHARS wide characters):
 * the command line when it is not empty, else the default path followed by
 * the local date and time ("ddMMyy", "HHmmss") and ".tvk". Returns 1, or 0
 * when the path would not fit. */
int BuildOutputPath(LPCWSTR commandLine, WCHAR *path);

#endif /* TOVIK_RUN_H */
