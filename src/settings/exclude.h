/*
 * exclude.h - the patterns that keep files and directories out of the file
 * system listing.
 */
#ifndef TOVIK_EXCLUDE_H
#define TOVIK_EXCLUDE_H

#include "platform.h"

/* Appends `pattern` to the exclusion list when fewer than MAX_EXCLUDES are
 * held. An empty pattern (it would exclude everything) and one longer than a
 * slot's EXCLUDE_CHARS - 1 characters (cutting it would exclude more than
 * asked) are refused. Returns 1 when the pattern was added, else 0. */
int ExcludeAdd(LPCWSTR pattern);

/* Removes pattern `index` when 0 <= index < count; later patterns move down
 * one slot, keeping their order. Returns 1 when a pattern was removed. */
int ExcludeRemove(int index);

/* 1 when `text` contains any pattern, compared without regard to case, else
 * 0. Only the first EXCLUDE_TEXT_CHARS - 1 characters of `text` are looked
 * at (device paths are far shorter). */
int IsExcluded(LPCWSTR text);

#define EXCLUDE_TEXT_CHARS 1024

#endif /* TOVIK_EXCLUDE_H */
