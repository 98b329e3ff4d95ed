// window_internal.h - the window objects of the platform layer, shared by
// the dialog manager (windows.cpp: messages and the modal loop), the dialog
// keyboard handling (term_input.cpp) and the terminal (terminal.cpp,
// term_draw.cpp). The terminal draws windows and supplies input events; it
// calls nothing of the dialog manager.
#ifndef TOVIK_WINDOW_INTERNAL_H
#define TOVIK_WINDOW_INTERNAL_H

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace host {

enum class ControlClass { Button, Edit, Static, ListBox, Other };

// Notification codes the device's controls send that the program's header
// does not need to name.
constexpr WORD kEnMaxText = 0x0501;

// What a single-line edit takes from the keyboard before EM_LIMITTEXT says
// otherwise, and what EM_LIMITTEXT with 0 means, as on the device.
constexpr size_t kEditDefaultLimit = 32767;
constexpr size_t kEditMaxLimit = 0x7FFFFFFE;

struct ListItem {
  std::wstring text;
  LPARAM data;
};

// How a control or window looks on the terminal: a copy of its state taken
// at a repaint. The terminal draws from this copy only (possibly from its
// refresh thread), never from the live state the program changes.
struct Look {
  std::wstring text;
  int check = BST_UNCHECKED;
  std::vector<std::wstring> items;
  int selection = -1;
  int top = 0;
  size_t caret = 0;
  size_t scroll = 0;
  bool selectAll = false;
  bool focused = false;
  bool visible = true;
};

struct Window {
  bool isDialog = false;
  Window *parent = nullptr;
  std::vector<std::unique_ptr<Window>> children;  // controls, in template order
  // From the template.
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int id = 0;
  ControlClass controlClass = ControlClass::Other;
  std::wstring className;
  std::wstring text;     // caption or control text
  WORD textOrdinal = 0;  // a resource ordinal as text (icon statics)
  WORD fontSize = 0;
  std::wstring fontName;
  // State.
  bool visible = false;
  int check = BST_UNCHECKED;
  size_t limit = 0;  // edit: most characters the user may type
  std::vector<ListItem> items;
  int selection = -1;      // list box: selected item, -1 = none
  int top = 0;             // list box: first item in view
  int caretItem = 0;       // list box: the item the keyboard is at (0 when empty)
  size_t caret = 0;        // edit: caret position in characters
  size_t scroll = 0;       // edit: first character in view
  bool selectAll = false;  // edit: the whole text is selected (focus came by Tab)
  DLGPROC procedure = nullptr;
  LPARAM initParam = 0;
  bool ended = false;  // EndDialog was called
  INT_PTR result = 0;
  unsigned repaints = 0;  // UpdateWindow calls, for tests
  // The terminal's side; `dirty` is set on the program's thread, the rest
  // is guarded by the terminal's lock.
  bool dirty = true;       // the state changed since the last capture
  bool needsDraw = false;  // the captured look is not on the screen yet
  Look look;               // the captured look
  int row = 0, col = 0;    // top-level windows: screen position of the frame
};

Window *WindowFrom(HWND handle);
HWND HandleOf(Window *window);
Window *BuildDialog(LPCDLGTEMPLATEW dialogTemplate, DLGPROC procedure, LPARAM initParam);
void FreeWindow(Window *window);
LRESULT ControlMessage(Window *control, UINT message, WPARAM wParam, LPARAM lParam);
Window *FocusWindow();
void SetFocusWindow(Window *window);
// Sends WM_COMMAND from `control` to its dialog's procedure.
void Notify(Window *control, WORD code);
// The group of a dialog's control: the controls [*first, *end) in template
// order, from the last one with WS_GROUP at or before it up to the next one
// with WS_GROUP (without any, all of them). Returns the control's index.
size_t GroupOf(const Window *control, size_t *first, size_t *end);
// A click on a button: an automatic check box toggles itself first, then the
// dialog hears WM_COMMAND with the id and BN_CLICKED.
void ClickButton(Window *button);
// The button's kind (BS_PUSHBUTTON, BS_AUTOCHECKBOX, ...).
inline DWORD ButtonKind(const Window *w) { return w->style & BS_TYPEMASK; }
inline bool IsPushButton(const Window *w) {
  return w->controlClass == ControlClass::Button &&
         (ButtonKind(w) == BS_PUSHBUTTON || ButtonKind(w) == BS_DEFPUSHBUTTON);
}

// ---------------------------------------------------------------------------
// Cells: dialog units to terminal character cells. A dialog unit is a
// quarter of the average width and an eighth of the height of a character
// of the dialog's proportional font. A terminal cell holds any character,
// including the wide ones the templates' texts were measured against, so
// three units make a column (at four, every check box text of our dialogs
// would lose its last letters) and eight a row. Edges round to the nearest
// cell so that controls on one line of the template land on one row.
// ---------------------------------------------------------------------------
inline int CellCol(int x) { return (x + 1) / 3; }
inline int CellRow(int y) { return (y + 4) / 8; }
inline int CellWidth(const Window *w) {
  int n = CellCol(w->x + w->cx) - CellCol(w->x);
  return n < 1 ? 1 : n;
}
inline int CellHeight(const Window *w) {
  int n = CellRow(w->y + w->cy) - CellRow(w->y);
  return n < 1 ? 1 : n;
}
// The characters an edit shows at once (inside its brackets).
inline size_t EditFieldWidth(const Window *w) {
  int n = CellWidth(w) - 2;
  return n < 1 ? 1 : static_cast<size_t>(n);
}
// The items a list box shows at once.
inline int ListRows(const Window *w) { return CellHeight(w); }

// ---------------------------------------------------------------------------
// Dialog keyboard (term_input.cpp)
// ---------------------------------------------------------------------------
enum class Key {
  None,
  Tab,
  ShiftTab,
  Space,
  Enter,
  Esc,
  Up,
  Down,
  Left,
  Right,
  Home,
  End,
  Backspace,
  Delete,
  Char,   // a typed character
  Press,  // a press (click) on a control given by id
  Resize  // the terminal changed size
};

struct InputEvent {
  Key key = Key::None;
  wchar_t ch = 0;  // Key::Char
  int id = 0;      // Key::Press
};

// The first control Tab reaches (WS_TABSTOP, enabled), or null.
Window *FirstTabStop(Window *dialog);
// Focus moved by the dialog's keyboard: an edit reached so selects its text.
void FocusByKeyboard(Window *control);
// Handles one input event in a modal dialog as the device's dialog manager
// and controls do.
void HandleDialogInput(Window *dialog, const InputEvent &event);

// ---------------------------------------------------------------------------
// The terminal side (terminal.cpp)
// ---------------------------------------------------------------------------
void MarkDirty(Window *window);  // its look changed; drawn at the next repaint
void Repaint(Window *window);    // draws the window when a terminal is attached
void Shown(Window *window);      // the window was shown or hidden
void Forget(Window *window);     // the window is going away
int ShowMessageBox(const std::wstring &text, const std::wstring &caption);

// Where a window's input events come from: a test's script, the terminal
// (taken for it), or nowhere.
enum class InputSource { None, Script, Terminal };
InputSource OpenInput();
// Names the window taking input, whose cursor the terminal shows; returns
// the one named before.
Window *SetInputWindow(Window *window);
// The next input event for `window`; from the terminal, the screen is
// brought up to date first and a change of size is handled there. False
// when the input ran out: the script is used up or the terminal is gone.
bool NextInput(InputSource source, Window *window, InputEvent *event);
// Gives the terminal back when nothing is on it any more.
void ReleaseIfIdle();

// ---------------------------------------------------------------------------
// Drawing (term_draw.cpp); called with the terminal's lock held
// ---------------------------------------------------------------------------
// Copies the live state of the window and its dirty controls into their
// looks. `all` copies every control.
void CaptureLook(Window *window, bool all);
// Draws what changed of the window (everything when `full`).
void DrawWindow(Window *window, bool full);
// Where the terminal cursor belongs for the focused control, if anywhere.
bool CursorFor(Window *window, int *row, int *col);
// The frame's size in cells: the client area, a caption bar and a frame.
int FrameWidth(const Window *window);
int FrameHeight(const Window *window);
// Draws a message box (text lines, caption, OK button) centred.
void DrawMessageBox(const std::wstring &text, const std::wstring &caption, int *cursorRow,
                    int *cursorCol);

}  // namespace host

#endif  // TOVIK_WINDOW_INTERNAL_H
