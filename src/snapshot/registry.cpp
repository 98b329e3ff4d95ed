/*
 * registry.cpp - the registry section of the snapshot.
 */
#include "snapshot/registry.h"

int DumpRegistryRoot(HKEY root, LPCWSTR startPath) {
  (void)root;
  (void)startPath;
  return 1;
}
