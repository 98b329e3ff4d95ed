/*
 * settings_file.h - the settings file "\tovik.cfg" in the documents folder.
 *
 * Narrow text in the ANSI code page, one keyword line per setting, every
 * line ending CR LF:
 *
 *   Registry 1          FileInROM 1        Databases 1
 *   Files 1             crc32 1            Setup 1
 *   Exclude .TVK        (one line per pattern, in list order)
 *   Default_path        (the keyword, a blank, then the path or nothing)
 *
 * The reader is lenient and keyword-driven: it upper-cases each line, can
 * only ever switch a flag off (a 0 after its keyword), and ignores what it
 * does not know.
 */
#ifndef TOVIK_SETTINGS_FILE_H
#define TOVIK_SETTINGS_FILE_H

#include "platform.h"

/* Characters a read line holds with its terminator: longer lines are read
 * as several lines. */
#define SETTINGS_LINE_CHARS 256

/* Bytes the written settings text may take. */
#define SETTINGS_TEXT_BYTES 4096

/* Reads the settings file at `path` into the settings record. Returns 1
 * when it was opened and read, 0 when it cannot be opened (nothing is
 * changed then). */
int LoadSettings(LPCWSTR path);

/* Writes the settings record to `path`, replacing the file only once the
 * whole new text is on the disk. Returns 1 when it was written, 0 when it
 * was not (the file cannot be created or written, or the text would not fit
 * SETTINGS_TEXT_BYTES): the old file is then left as it was, and the
 * failure is said with the message box "Settings writing error". */
int SaveSettings(LPCWSTR path);

#endif /* TOVIK_SETTINGS_FILE_H */
