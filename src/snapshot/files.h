/*
 * files.h - the file system section of the snapshot.
 */
#ifndef TOVIK_FILES_H
#define TOVIK_FILES_H

#include "platform.h"

/* Lists the directory `path` (no trailing backslash; "" is the root) and
 * everything below it, showing each directory in the progress window. */
void DumpDirectory(HWND progressWindow, LPCWSTR path);

#endif /* TOVIK_FILES_H */
