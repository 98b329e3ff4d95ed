// window_internal.h - the window objects of the platform layer, shared by
// the message handling (windows.cpp) and the terminal (terminal.cpp).
#ifndef TOVIK_WINDOW_INTERNAL_H
#define TOVIK_WINDOW_INTERNAL_H

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace host {

enum class ControlClass { Button, Edit, Static, ListBox, Other };

struct ListItem {
  std::wstring text;
  LPARAM data;
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
  size_t limit = 0;  // edit text limit in characters, 0 = none
  std::vector<ListItem> items;
  int selection = -1;
  DLGPROC procedure = nullptr;
  LPARAM initParam = 0;
  bool ended = false;  // EndDialog was called
  INT_PTR result = 0;
  unsigned repaints = 0;  // UpdateWindow calls, for tests
};

Window *WindowFrom(HWND handle);
HWND HandleOf(Window *window);
Window *BuildDialog(LPCDLGTEMPLATEW dialogTemplate, DLGPROC procedure, LPARAM initParam);
void FreeWindow(Window *window);
LRESULT ControlMessage(Window *control, UINT message, WPARAM wParam, LPARAM lParam);
Window *FocusWindow();
void SetFocusWindow(Window *window);

// The terminal side (terminal.cpp).
void MarkDirty(Window *window);  // its look changed; drawn at the next repaint
void Repaint(Window *window);    // draws the window when a terminal is attached
void Forget(Window *window);     // the window is going away
INT_PTR RunModal(LPCDLGTEMPLATEW dialogTemplate, DLGPROC procedure, LPARAM initParam);
int ShowMessageBox(const std::wstring &text, const std::wstring &caption);

}  // namespace host

#endif  // TOVIK_WINDOW_INTERNAL_H
