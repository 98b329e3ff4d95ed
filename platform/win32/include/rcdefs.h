/*
 * rcdefs.h - the window style and control constants for the resource
 * compiler on Windows. res/tovik.rc includes "rcdefs.h"; here Windows' own
 * resource header gives every constant with the values the device uses.
 */
#ifndef TOVIK_RCDEFS_H
#define TOVIK_RCDEFS_H

#include <winresrc.h>

#endif /* TOVIK_RCDEFS_H */
