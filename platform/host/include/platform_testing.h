/*
 * platform_testing.h - hooks of the host platform layer for tests. They are
 * not part of the device's API and the program never includes this header.
 */
#ifndef TOVIK_PLATFORM_TESTING_H
#define TOVIK_PLATFORM_TESTING_H

/*
 * Makes calls of the named platform operation fail as the device would (for
 * WriteFile: a disk-full error): starting with the `nth` call from now
 * (1 = the next one), `count` calls in a row fail; later calls succeed again.
 * Operations that honour it: "WriteFile", "CreateFileW", "LocalAlloc".
 */
void PlatformFailCall(const char *call, int nth, int count);

/* Forgets every failure asked for with PlatformFailCall. */
void PlatformClearFaults(void);

/* Forgets the device folder and all that was read from it, so that the next
 * call reads TOVIK_DEVICE (and the files in that folder) afresh. */
void PlatformResetDevice(void);

/* The number of object store enumerations (CeFindFirstDatabase) that are
 * open, so tests can see that a caller closed its own. */
int PlatformOpenDatabaseEnumerations(void);

#endif /* TOVIK_PLATFORM_TESTING_H */
