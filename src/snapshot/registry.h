/*
 * registry.h - the registry section of the snapshot.
 */
#ifndef TOVIK_REGISTRY_H
#define TOVIK_REGISTRY_H

#include "platform.h"

#define REG_PATH_CHARS 1024    /* current key path, terminator included */
#define REG_NAME_CHARS 1024    /* value name and subkey name buffers */
#define REG_DATA_BYTES 16256   /* value data buffer */
#define REG_LINE_CHARS 32512   /* wide line */
#define REG_NARROW_BYTES 16256 /* narrow scratch, plus one byte that stays 0 */

/* Writes every key under `root` from `startPath` down: each key's header
 * line and its values, then its subkeys (last enumerated first), each with
 * its whole subtree. Returns 1 when `root` is one of the four root keys, 0
 * (and writes nothing) otherwise. */
int DumpRegistryRoot(HKEY root, LPCWSTR startPath);

/* Puts a copy of `path` on the pending-key stack. A path longer than
 * REG_PATH_CHARS - 1 characters, or one there is no memory for, is not
 * pushed. */
void KeyStackPush(LPCWSTR path);

/* Takes the last pushed path into `destination` (REG_PATH_CHARS
 * characters). Returns 1, or 0 when the stack is empty. */
int KeyStackPop(LPWSTR destination);

/* Writes `text` in double quotes, with \" \\ and \xNN escapes, whole
 * however long it is. */
void WriteRegString(LPCWSTR text);

#endif /* TOVIK_REGISTRY_H */
