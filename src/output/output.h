/*
 * output.h - the snapshot's output stream and the wide-to-narrow helpers.
 *
 * The snapshot is written through a small stream of tovik's own, laid
 * directly on the platform's file handle: one output at a time, a 266-byte
 * buffer flushed at every line feed, and text mode that writes each line
 * feed as CR LF.
 */
#ifndef TOVIK_OUTPUT_H
#define TOVIK_OUTPUT_H

#include "platform.h"

#define OUT_BUFFER_SIZE 266

typedef struct {
  HANDLE handle;                /* INVALID_HANDLE_VALUE while no output is open */
  LONG binary;                  /* 0 = text mode (LF written as CR LF), 1 = binary */
  BYTE buffer[OUT_BUFFER_SIZE]; /* bytes not yet written */
  LONG position;                /* number of bytes in buffer, 0..265 */
  LONG failed;                  /* 1 once any write of this output failed */
} OutStreamState;

extern OutStreamState OutStream;

/* Opens `path` with a C-style `mode` ("r", "w", "a", each optionally with
 * '+' and 'b'). Returns 1 on success, 0 on failure. */
int OutOpen(LPCWSTR path, LPCWSTR mode);

/* Appends one byte; returns 1, or 0 when a write that it triggered failed. */
int OutPutByte(int byte);

/* Writes one character, a line feed as CR LF in text mode; returns `ch`, or
 * -1 when a write failed. */
int OutPutChar(int ch);

/* Writes a NUL-terminated narrow string; returns its last byte (1..255), or
 * -1 when the string is empty or a write failed. */
int OutPutString(const char *text);

/* Writes what is buffered and closes the output; a failed close sets
 * `failed`. */
void OutClose(void);

/* A new narrow copy of `wide` in the ANSI code page, or null when memory is
 * short. The caller releases it with LocalFree. */
char *ToNarrowAlloc(LPCWSTR wide);

/* Converts `wide` into `destination`, writing at most `capacity` bytes (no
 * terminator when the text fills them). */
void ToNarrowFixed(LPCWSTR wide, char *destination, int capacity);

#endif /* TOVIK_OUTPUT_H */
