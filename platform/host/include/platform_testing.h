/*
 * platform_testing.h - hooks of the host platform layer for tests. They are
 * not part of the device's API and the program never includes this header.
 */
#ifndef TOVIK_PLATFORM_TESTING_H
#define TOVIK_PLATFORM_TESTING_H

#include <wchar.h>

/*
 * Makes calls of the named platform call fail as the device would: starting
 * with the `nth` call from now (1 = the next one), `count` calls in a row
 * fail; later calls succeed again. The calls that can be made to fail, and
 * the error each then reports:
 *   "CreateFileW"    ERROR_ACCESS_DENIED
 *   "WriteFile"      ERROR_DISK_FULL
 *   "LocalAlloc"     ERROR_NOT_ENOUGH_MEMORY
 *   "FindNextFileW"  ERROR_ACCESS_DENIED
 *   "RegEnumValueW"  ERROR_ACCESS_DENIED (returned)
 *   "CeOidGetInfo"   ERROR_INVALID_PARAMETER
 *   "CloseHandle"    ERROR_DISK_FULL (the handle is closed all the same, as
 *                    when a file's held-back bytes could not be written)
 * Any other name, or an `nth` or `count` below 1, ends the process with a
 * message: a fault test must never pass without its fault.
 */
void PlatformFailCall(const char *call, int nth, int count);

/* Forgets every failure asked for with PlatformFailCall. */
void PlatformClearFaults(void);

/* Writes what open file handles hold back, so that a test reading a device
 * file straight from the host sees every byte WriteFile was given. */
void PlatformSettleWrites(void);

/* Forgets the device folder and all that was read from it, so that the next
 * call reads TOVIK_DEVICE (and the files in that folder) afresh. */
void PlatformResetDevice(void);

/* With 1, device paths are resolved inside the device root one component
 * at a time, as on kernels without openat2; with 0, the layer chooses again
 * (the kernel's resolution where it has one). */
void PlatformResolvePathsByHand(int on);

/* The number of object store enumerations (CeFindFirstDatabase) that are
 * open, so tests can see that a caller closed its own. */
int PlatformOpenDatabaseEnumerations(void);

/* ---------------------------------------------------------------------
 * Windows and dialogs
 * --------------------------------------------------------------------- */

/* Kinds of scripted input events. */
enum {
  PLATFORM_INPUT_KEY = 1,  /* a key: `value` is one of PLATFORM_KEY_... */
  PLATFORM_INPUT_TEXT = 2, /* typed text: `text`, one key press per character */
  PLATFORM_INPUT_PRESS = 3 /* a press (click) on the control whose id is `value` */
};

/* Keys of scripted input. */
enum {
  PLATFORM_KEY_TAB = 1,
  PLATFORM_KEY_SHIFT_TAB,
  PLATFORM_KEY_SPACE,
  PLATFORM_KEY_ENTER,
  PLATFORM_KEY_ESC,
  PLATFORM_KEY_UP,
  PLATFORM_KEY_DOWN,
  PLATFORM_KEY_LEFT,
  PLATFORM_KEY_RIGHT,
  PLATFORM_KEY_HOME,
  PLATFORM_KEY_END,
  PLATFORM_KEY_BACKSPACE,
  PLATFORM_KEY_DELETE
};

typedef struct {
  int kind;            /* PLATFORM_INPUT_... */
  int value;           /* the key, or the control id of a press */
  const wchar_t *text; /* typed text (copied when the script is given) */
} PlatformInputEvent;

static inline PlatformInputEvent PlatformKey(int key) {
  PlatformInputEvent event = {PLATFORM_INPUT_KEY, key, 0};
  return event;
}
static inline PlatformInputEvent PlatformText(const wchar_t *text) {
  PlatformInputEvent event = {PLATFORM_INPUT_TEXT, 0, text};
  return event;
}
static inline PlatformInputEvent PlatformPress(int id) {
  PlatformInputEvent event = {PLATFORM_INPUT_PRESS, id, 0};
  return event;
}

/*
 * Gives modal dialogs a script of input events in place of the terminal.
 * The events are queued; each modal dialog (DialogBoxIndirectParamW) takes
 * its input from the queue through the same handling as the terminal's
 * keys. While a script is in force nothing is drawn (dialogs run headless,
 * message box texts go to standard error only), also when a terminal is
 * attached. A dialog that has not ended when the queue runs out reads Esc;
 * one that ignores that Esc is ended with -1 and a line on standard error,
 * so a test can never hang. Calling it again adds to the queue.
 */
void PlatformScriptDialogInput(const PlatformInputEvent *events, int count);

/* Drops the script and its events left over: the terminal is used again. */
void PlatformEndDialogScript(void);

/* Lets windows use the terminal when one is attached (1, the default), or
 * keeps them off it (0) as if there were none. */
void PlatformUseTerminal(int allowed);

/* Test hook: with 1, a shown window about to be destroyed stays on the
 * terminal until a key is pressed there, so that a test driving a terminal
 * can look at it. No effect without a terminal. */
void PlatformHoldWindowsForKey(int on);

/* The number of UpdateWindow calls a window has had. */
unsigned PlatformRepaintCount(void *window);

#endif /* TOVIK_PLATFORM_TESTING_H */
