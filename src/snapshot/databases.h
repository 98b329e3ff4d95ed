/*
 * databases.h - the databases section of the snapshot.
 */
#ifndef TOVIK_DATABASES_H
#define TOVIK_DATABASES_H

#include "platform.h"

/* Writes one line per object of the object store's database enumeration. */
void DumpDatabases(HWND progressWindow);

#endif /* TOVIK_DATABASES_H */
