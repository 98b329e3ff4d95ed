/*
 * output.cpp - the snapshot's output stream and the wide-to-narrow helpers.
 */
#include "output/output.h"

OutStreamState OutStream = {INVALID_HANDLE_VALUE, 0, {0}, 0, 0};

/* Writes `count` buffered bytes. The buffer is emptied first, so the bytes of
 * a failed write are dropped and writing goes on afresh. Returns 1 when the
 * platform wrote them, else 0. */
static int OutWriteBuffer(DWORD count) {
  DWORD written = 0;
  OutStream.position = 0;
  if (WriteFile(OutStream.handle, OutStream.buffer, count, &written, NULL) && written != 0)
    return 1;
  OutStream.failed = 1;
  return 0;
}

int OutOpen(LPCWSTR path, LPCWSTR mode) {
  DWORD access;
  DWORD creation;
  int action; /* 0 nothing, 1 truncate, 2 seek to the end */
  WCHAR binaryAt;

  OutStream.binary = 0;
  switch (mode[0]) {
    case L'r':
      access = GENERIC_READ;
      creation = OPEN_EXISTING;
      action = 0;
      break;
    case L'w':
      access = GENERIC_WRITE;
      creation = CREATE_ALWAYS;
      action = 1;
      break;
    case L'a':
      access = GENERIC_WRITE;
      creation = OPEN_ALWAYS;
      action = 2;
      break;
    default:
      return 0;
  }
  /* A '+' counts only as the second character; 'b' follows the letter, or
   * the '+' when there is one. */
  if (mode[1] == L'+') {
    access = GENERIC_READ | GENERIC_WRITE;
    if (mode[0] == L'r') creation = OPEN_ALWAYS;
    binaryAt = mode[2];
  } else {
    binaryAt = mode[1];
  }
  if (binaryAt == L'b') OutStream.binary = 1;

  OutStream.handle =
      CreateFileW(path, access, FILE_SHARE_READ, NULL, creation, FILE_ATTRIBUTE_NORMAL, NULL);
  if (OutStream.handle == INVALID_HANDLE_VALUE) return 0;
  if (action == 1)
    SetEndOfFile(OutStream.handle);
  else if (action == 2)
    SetFilePointer(OutStream.handle, 0, NULL, FILE_END);
  OutStream.position = 0;
  OutStream.failed = 0;
  return 1;
}

int OutPutByte(int byte) {
  OutStream.buffer[OutStream.position] = (BYTE)byte;
  OutStream.position = (OutStream.position + 1) % OUT_BUFFER_SIZE;
  if (OutStream.position == 0) return OutWriteBuffer(OUT_BUFFER_SIZE);
  if ((BYTE)byte == '\n') return OutWriteBuffer((DWORD)OutStream.position);
  return 1;
}

int OutPutChar(int ch) {
  if (!OutStream.binary && ch == '\n') {
    if (!OutPutByte('\r')) return -1;
  }
  if (!OutPutByte(ch)) return -1;
  return ch;
}

int OutPutString(const char *text) {
  const unsigned char *p = (const unsigned char *)text;
  int last = -1;
  for (; *p; ++p) {
    if (OutPutChar(*p) == -1) return -1;
    last = *p;
  }
  return last;
}

/* A file system may keep written bytes back until the file is closed, and
 * tell only then that it could not write them: a failed close counts as a
 * failed write. */
void OutClose(void) {
  if (OutStream.handle == INVALID_HANDLE_VALUE) return;
  if (OutStream.position != 0) OutWriteBuffer((DWORD)OutStream.position);
  if (!CloseHandle(OutStream.handle)) OutStream.failed = 1;
  OutStream.handle = INVALID_HANDLE_VALUE;
}

char *ToNarrowAlloc(LPCWSTR wide) {
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL);
  char *narrow;
  if (length <= 0) length = 1;
  narrow = (char *)LocalAlloc(LPTR, (size_t)length + 1);
  if (narrow == NULL) return NULL;
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, length, NULL, NULL);
  return narrow;
}

void ToNarrowFixed(LPCWSTR wide, char *destination, int capacity) {
  wcstombs(destination, wide, (size_t)capacity);
}
