/*
 * registry.cpp - the registry section of the snapshot.
 *
 * A root is walked without recursion: pending key paths wait on a stack of
 * heap nodes, so a key is written with all its values, then its subkeys in
 * the reverse of their enumeration order, each with its whole subtree.
 *
 *   [HKEY_LOCAL_MACHINE\Drivers\Serial]
 *   "Name"="COM1:"
 *   "Index"=dword:00000001
 *   "Settings"=hex(3):01,ab,ff
 *
 * Every piece of wide text is built in the wide line, converted into the
 * narrow scratch and written with OutPutString. Values too large for the
 * static buffers are read again into buffers of their own size, so every
 * value of a key is listed, whole.
 */
#include "snapshot/registry.h"

#include "output/output.h"

/* Wide text is handed to the conversion in pieces of at most this many
 * characters, so that even two bytes per character fit the narrow
 * scratch; a string's escaped form may be longer than the wide line. */
#define REG_PIECE_CHARS 8000

typedef struct KeyNode {
  struct KeyNode *next; /* the node pushed before this one */
  WCHAR *path;          /* own copy of the key path, relative to the root */
} KeyNode;

static KeyNode *g_keyStack;                     /* pending keys, last pushed first */
static WCHAR g_keyPath[REG_PATH_CHARS];         /* the key being written */
static WCHAR g_valueName[REG_NAME_CHARS];       /* name of the value being written */
static BYTE g_valueData[REG_DATA_BYTES];        /* its data */
static DWORD g_valueType;                       /* its type */
static WCHAR g_subkeyName[REG_NAME_CHARS];      /* name of a subkey */
static WCHAR g_wideLine[REG_LINE_CHARS];        /* wide text being built */
static DWORD g_lineLength;                      /* characters in g_wideLine */
static char g_narrowLine[REG_NARROW_BYTES + 1]; /* its narrow form; last byte stays 0 */

static const WCHAR g_hexDigits[] = L"0123456789abcdef";

/* The printed name of a root key, or null for any other handle. */
static LPCWSTR RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return L"HKEY_USERS";
  return NULL;
}

/* Converts the g_lineLength characters of the wide line and writes them;
 * the wide line is then empty. */
static void FlushLine(void) {
  g_wideLine[g_lineLength] = 0;
  ToNarrowFixed(g_wideLine, g_narrowLine, REG_NARROW_BYTES);
  OutPutString(g_narrowLine);
  g_lineLength = 0;
}

/* Writes a NUL-terminated text that wsprintfW built in the wide line. */
static void WriteBuiltLine(void) {
  g_lineLength = (DWORD)wcslen(g_wideLine);
  FlushLine();
}

/* Writes `count` characters in quotes with their escapes. They come from
 * `wide`, or, when it is null, from `bytes` as 16-bit little-endian units,
 * which is how the registry keeps string data. */
static void WriteEscaped(LPCWSTR wide, const BYTE *bytes, DWORD count) {
  DWORD i;
  DWORD c;
  DWORD previous = 0;
  g_lineLength = 0;
  g_wideLine[g_lineLength++] = L'"';
  for (i = 0; i < count; ++i) {
    c = wide != NULL ? (DWORD)wide[i] : (DWORD)bytes[2 * i] | (DWORD)bytes[2 * i + 1] << 8;
    /* A long text goes out in pieces. Only a low surrogate right after a
     * high one may stay with the piece before it (the pair is one
     * character), so a piece never outgrows the wide line, whatever units
     * the text holds. */
    if (g_lineLength >= REG_PIECE_CHARS &&
        !(c >= 0xDC00 && c <= 0xDFFF && previous >= 0xD800 && previous <= 0xDBFF))
      FlushLine();
    previous = c;
    if (c == '"' || c == '\\') {
      g_wideLine[g_lineLength++] = L'\\';
      g_wideLine[g_lineLength++] = (WCHAR)c;
    } else if (c >= 1 && c <= 31) {
      g_lineLength += (DWORD)wsprintfW(g_wideLine + g_lineLength, L"\\x%02X", (int)c);
    } else {
      g_wideLine[g_lineLength++] = (WCHAR)c;
    }
  }
  g_wideLine[g_lineLength++] = L'"';
  FlushLine();
}

void WriteRegString(LPCWSTR text) { WriteEscaped(text, NULL, (DWORD)wcslen(text)); }

void KeyStackPush(LPCWSTR path) {
  KeyNode *node;
  size_t length = wcslen(path);
  if (length >= REG_PATH_CHARS) return;
  node = (KeyNode *)LocalAlloc(LPTR, sizeof(KeyNode));
  if (node == NULL) return;
  node->path = (WCHAR *)LocalAlloc(LPTR, (length + 1) * sizeof(WCHAR));
  if (node->path == NULL) {
    LocalFree(node);
    return;
  }
  wcscpy(node->path, path);
  node->next = g_keyStack;
  g_keyStack = node;
}

int KeyStackPop(LPWSTR destination) {
  KeyNode *node = g_keyStack;
  if (node == NULL) return 0;
  g_keyStack = node->next;
  wcscpy(destination, node->path);
  LocalFree(node->path);
  LocalFree(node);
  return 1;
}

/* Writes one value line: name, '=', data, line feed. */
static void WriteValue(LPCWSTR name, DWORD type, const BYTE *data, DWORD size) {
  DWORD i;
  DWORD number;
  WriteRegString(name);
  OutPutChar('=');
  if (type == REG_DWORD) {
    /* Fewer than four bytes are zero-extended; more are cut to four. */
    number = 0;
    for (i = 0; i < size && i < 4; ++i) number |= (DWORD)data[i] << (8 * i);
    OutPutString("dword:");
    wsprintfW(g_wideLine, L"%08X", number);
    WriteBuiltLine();
  } else if (type == REG_SZ) {
    /* The string ends at its terminator, or without one at the last whole
     * character of the data. */
    for (i = 0; i < size / 2; ++i)
      if (data[2 * i] == 0 && data[2 * i + 1] == 0) break;
    WriteEscaped(NULL, data, i);
  } else {
    /* The type is a DWORD: written unsigned, never as a negative number. */
    wsprintfW(g_wideLine, L"hex(%u):", (unsigned)type);
    WriteBuiltLine();
    /* The bytes, as %02x with commas between them, in pieces. */
    for (i = 0; i < size; ++i) {
      if (g_lineLength >= REG_PIECE_CHARS) FlushLine();
      if (i > 0) g_wideLine[g_lineLength++] = L',';
      g_wideLine[g_lineLength++] = g_hexDigits[data[i] >> 4];
      g_wideLine[g_lineLength++] = g_hexDigits[data[i] & 15];
    }
    if (g_lineLength > 0) FlushLine();
  }
  OutPutChar('\n');
}

/* The value at `index` did not fit the static buffers: reads it again into
 * buffers of the size the platform asked for and writes it. Where the
 * platform does not say the size, the buffers double until it fits. */
static void WriteLargeValue(HKEY key, DWORD index, DWORD nameWanted, DWORD dataWanted) {
  DWORD nameChars = REG_NAME_CHARS;
  DWORD dataBytes = REG_DATA_BYTES;
  WCHAR *name;
  BYTE *data;
  DWORD nameCapacity;
  DWORD dataCapacity;
  DWORD type;
  LONG result;
  int attempt;

  for (attempt = 0; attempt < 16; ++attempt) {
    if (attempt == 0) {
      nameChars = nameWanted > nameChars ? nameWanted : nameChars;
      dataBytes = dataWanted > dataBytes ? dataWanted : dataBytes;
    } else {
      nameChars = nameWanted > nameChars ? nameWanted : nameChars * 2;
      dataBytes = dataWanted > dataBytes ? dataWanted : dataBytes * 2;
    }
    name = (WCHAR *)LocalAlloc(LPTR, nameChars * sizeof(WCHAR));
    data = (BYTE *)LocalAlloc(LPTR, dataBytes);
    if (name == NULL || data == NULL) {
      /* No memory for it: this value cannot be listed; the next ones are. */
      LocalFree(name);
      LocalFree(data);
      return;
    }
    nameCapacity = nameChars;
    dataCapacity = dataBytes;
    result = RegEnumValueW(key, index, name, &nameCapacity, NULL, &type, data, &dataCapacity);
    if (result == ERROR_SUCCESS) WriteValue(name, type, data, dataCapacity);
    LocalFree(name);
    LocalFree(data);
    if (result != ERROR_MORE_DATA) return;
    nameWanted = nameCapacity;
    dataWanted = dataCapacity;
  }
}

/* Writes every value of an open key. */
static void WriteValues(HKEY key) {
  DWORD index;
  DWORD nameChars;
  DWORD dataBytes;
  LONG result;
  for (index = 0;; ++index) {
    nameChars = REG_NAME_CHARS;
    dataBytes = REG_DATA_BYTES;
    result = RegEnumValueW(key, index, g_valueName, &nameChars, NULL, &g_valueType, g_valueData,
                           &dataBytes);
    if (result == ERROR_SUCCESS)
      WriteValue(g_valueName, g_valueType, g_valueData, dataBytes);
    else if (result == ERROR_MORE_DATA)
      WriteLargeValue(key, index, nameChars, dataBytes);
    else
      return;
  }
}

/* Pushes the paths of every subkey of an open key, in enumeration order. */
static void PushSubkeys(HKEY key) {
  DWORD index;
  DWORD nameChars;
  DWORD pathLength = (DWORD)wcslen(g_keyPath);
  DWORD nameLength;
  LONG result;
  for (index = 0;; ++index) {
    nameChars = REG_NAME_CHARS;
    result = RegEnumKeyExW(key, index, g_subkeyName, &nameChars, NULL, NULL, NULL, NULL);
    /* A name that does not fit the buffer cannot fit a key path either:
     * that key is skipped with its subtree, and its siblings still come. */
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return;
    if (g_subkeyName[0] == 0) continue;
    nameLength = (DWORD)wcslen(g_subkeyName);
    /* Paths longer than the path buffer are skipped, never cut. */
    if (pathLength + (pathLength != 0 ? 1 : 0) + nameLength >= REG_PATH_CHARS) continue;
    wcscpy(g_wideLine, g_keyPath);
    if (pathLength != 0) wcscat(g_wideLine, L"\\");
    wcscat(g_wideLine, g_subkeyName);
    KeyStackPush(g_wideLine);
  }
}

int DumpRegistryRoot(HKEY root, LPCWSTR startPath) {
  LPCWSTR rootName = RootName(root);
  HKEY key;
  if (rootName == NULL) return 0;
  KeyStackPush(startPath != NULL ? startPath : L"");
  while (KeyStackPop(g_keyPath)) {
    /* The header "\n[%s\%s]\n" is put together by hand: the device's
     * wsprintfW writes at most 1024 characters, and a path of up to 1023
     * characters with the root's name is longer than that. */
    wcscpy(g_wideLine, L"\n[");
    wcscat(g_wideLine, rootName);
    wcscat(g_wideLine, L"\\");
    wcscat(g_wideLine, g_keyPath);
    wcscat(g_wideLine, L"]\n");
    WriteBuiltLine();
    if (RegOpenKeyExW(root, g_keyPath, 0, 0, &key) != ERROR_SUCCESS) continue;
    WriteValues(key);
    PushSubkeys(key);
    RegCloseKey(key);
  }
  OutPutChar('\n');
  return 1;
}
