/*
 * registry.h - the registry section of the snapshot.
 */
#ifndef TOVIK_REGISTRY_H
#define TOVIK_REGISTRY_H

#include "platform.h"

/* Writes every key under `root` from `startPath` down. Returns 1 when `root`
 * is one of the four root keys, 0 (and writes nothing) otherwise. */
int DumpRegistryRoot(HKEY root, LPCWSTR startPath);

#endif /* TOVIK_REGISTRY_H */
