/*
 * files.cpp - the file system section of the snapshot.
 */
#include "snapshot/files.h"

void DumpDirectory(HWND progressWindow, LPCWSTR path) {
  (void)progressWindow;
  (void)path;
}
