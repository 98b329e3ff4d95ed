/*
 * databases.cpp - the databases section of the snapshot.
 */
#include "snapshot/databases.h"

void DumpDatabases(HWND progressWindow) { (void)progressWindow; }
