// windows.cpp - windows and dialogs: dialogs built from their binary
// templates, their controls, and the messages the program sends them.
//
// A window is an object of this layer. A dialog holds its controls with
// their ids, classes, styles, texts, check states and list items; the
// messages the program sends are answered here as the device answers them.
//
// The modal loop is here too: it shows the dialog, takes input events from
// the terminal or a test's script (terminal.cpp) and hands each to the
// dialog's keyboard handling (term_input.cpp) until the dialog ends.
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "internal.h"
#include "window_internal.h"

namespace host {
namespace {

std::unordered_set<Window *> &Live() {
  static std::unordered_set<Window *> live;
  return live;
}

Window *g_focus = nullptr;
const char *g_noInputHint = nullptr;  // SetNoInputHint

WORD Read16(const unsigned char *&p) {
  WORD value = static_cast<WORD>(p[0] | (p[1] << 8));
  p += 2;
  return value;
}

DWORD Read32(const unsigned char *&p) {
  DWORD value = p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24);
  p += 4;
  return value;
}

// An ordinal-or-string field: 0 = none, 0xFFFF then an ordinal, else a
// NUL-terminated UTF-16 string.
void ReadField(const unsigned char *&p, WORD *ordinal, std::wstring *text) {
  *ordinal = 0;
  text->clear();
  WORD first = Read16(p);
  if (first == 0) return;
  if (first == 0xFFFF) {
    *ordinal = Read16(p);
    return;
  }
  text->push_back(static_cast<WCHAR>(first));
  for (WORD c = Read16(p); c != 0; c = Read16(p)) text->push_back(static_cast<WCHAR>(c));
}

void AlignTo4(const unsigned char *&p, const unsigned char *base) {
  size_t offset = static_cast<size_t>(p - base);
  p += (4 - offset % 4) % 4;
}

ControlClass ClassFromOrdinal(WORD ordinal) {
  switch (ordinal) {
    case 0x80:
      return ControlClass::Button;
    case 0x81:
      return ControlClass::Edit;
    case 0x82:
      return ControlClass::Static;
    case 0x83:
      return ControlClass::ListBox;
    default:
      return ControlClass::Other;
  }
}

// Compares as a sorted list box orders its items: without regard to case.
int CompareNoCase(const std::wstring &a, const std::wstring &b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    WCHAR x = UpperChar(a[i]), y = UpperChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

ControlClass ClassFromName(std::wstring name) {
  for (auto &c : name) c = UpperChar(c);
  if (name == L"BUTTON") return ControlClass::Button;
  if (name == L"EDIT") return ControlClass::Edit;
  if (name == L"STATIC") return ControlClass::Static;
  if (name == L"LISTBOX") return ControlClass::ListBox;
  return ControlClass::Other;
}

}  // namespace

Window *WindowFrom(HWND handle) {
  auto *window = reinterpret_cast<Window *>(handle);
  return Live().count(window) ? window : nullptr;
}

HWND HandleOf(Window *window) { return reinterpret_cast<HWND>(window); }

Window *BuildDialog(LPCDLGTEMPLATEW dialogTemplate, DLGPROC procedure, LPARAM initParam) {
  const unsigned char *base = reinterpret_cast<const unsigned char *>(dialogTemplate);
  const unsigned char *p = base;
  auto dialog = std::make_unique<Window>();
  dialog->isDialog = true;
  dialog->style = Read32(p);
  dialog->exStyle = Read32(p);
  WORD count = Read16(p);
  dialog->x = static_cast<short>(Read16(p));
  dialog->y = static_cast<short>(Read16(p));
  dialog->cx = static_cast<short>(Read16(p));
  dialog->cy = static_cast<short>(Read16(p));
  WORD ordinal;
  std::wstring text;
  ReadField(p, &ordinal, &text);          // menu
  ReadField(p, &ordinal, &text);          // class
  ReadField(p, &ordinal, &dialog->text);  // caption
  if (dialog->style & DS_SETFONT) {
    dialog->fontSize = Read16(p);
    ReadField(p, &ordinal, &dialog->fontName);
  }
  for (WORD i = 0; i < count; ++i) {
    AlignTo4(p, base);
    auto control = std::make_unique<Window>();
    control->style = Read32(p);
    control->exStyle = Read32(p);
    control->x = static_cast<short>(Read16(p));
    control->y = static_cast<short>(Read16(p));
    control->cx = static_cast<short>(Read16(p));
    control->cy = static_cast<short>(Read16(p));
    control->id = static_cast<short>(Read16(p));
    std::wstring className;
    ReadField(p, &ordinal, &className);
    control->controlClass =
        className.empty() ? ClassFromOrdinal(ordinal) : ClassFromName(className);
    control->className = className;
    ReadField(p, &control->textOrdinal, &control->text);
    WORD extra = Read16(p);
    p += extra;
    control->parent = dialog.get();
    if (control->controlClass == ControlClass::Edit) control->limit = kEditDefaultLimit;
    control->visible = (control->style & WS_VISIBLE) != 0;
    Live().insert(control.get());
    dialog->children.push_back(std::move(control));
  }
  dialog->procedure = procedure;
  dialog->initParam = initParam;
  Window *result = dialog.release();
  Live().insert(result);
  return result;
}

void FreeWindow(Window *window) {
  if (!window) return;
  for (auto &child : window->children) {
    Live().erase(child.get());
    if (g_focus == child.get()) g_focus = nullptr;
  }
  Live().erase(window);
  if (g_focus == window) g_focus = nullptr;
  delete window;
}

void SetNoInputHint(const char *text) { g_noInputHint = text; }

Window *FocusWindow() { return g_focus; }

void SetFocusWindow(Window *window) {
  if (g_focus == window) return;
  if (g_focus) MarkDirty(g_focus);
  g_focus = window;
  if (window) {
    if (window->controlClass == ControlClass::Edit) {
      window->selectAll = false;
      window->caret = window->text.size();
    }
    MarkDirty(window);
  }
}

void Notify(Window *control, WORD code) {
  Window *dialog = control->parent;
  if (dialog && dialog->procedure)
    dialog->procedure(HandleOf(dialog), WM_COMMAND, MAKEWPARAM(control->id, code),
                      reinterpret_cast<LPARAM>(HandleOf(control)));
}

size_t GroupOf(const Window *control, size_t *first, size_t *end) {
  auto &siblings = control->parent->children;
  size_t at = 0;
  while (at < siblings.size() && siblings[at].get() != control) ++at;
  *first = at < siblings.size() ? at : 0;
  while (*first > 0 && !(siblings[*first]->style & WS_GROUP)) --*first;
  *end = at + 1;
  while (*end < siblings.size() && !(siblings[*end]->style & WS_GROUP)) ++*end;
  if (*end > siblings.size()) *end = siblings.size();
  return at;
}

void ClickButton(Window *button) {
  switch (ButtonKind(button)) {
    case BS_AUTOCHECKBOX:
      button->check = button->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      break;
    case BS_AUTO3STATE:
      button->check = (button->check + 1) % 3;
      break;
    case BS_AUTORADIOBUTTON:
      // The other automatic radio buttons of its group go out.
      if (Window *dialog = button->parent) {
        auto &siblings = dialog->children;
        size_t first = 0, end = 0;
        GroupOf(button, &first, &end);
        for (size_t i = first; i < end; ++i) {
          Window *other = siblings[i].get();
          if (other != button && ButtonKind(other) == BS_AUTORADIOBUTTON &&
              other->check != BST_UNCHECKED) {
            other->check = BST_UNCHECKED;
            MarkDirty(other);
          }
        }
      }
      button->check = BST_CHECKED;
      break;
    default:
      break;
  }
  MarkDirty(button);
  Notify(button, BN_CLICKED);
}

LRESULT ControlMessage(Window *control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      const WCHAR *text = reinterpret_cast<const WCHAR *>(lParam);
      // The edit's limit binds only what the user types, never WM_SETTEXT.
      control->text = text ? text : L"";
      control->textOrdinal = 0;
      control->caret = 0;
      control->scroll = 0;
      control->selectAll = false;
      MarkDirty(control);
      return TRUE;
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(control->text.size());
    case WM_GETTEXT: {
      WCHAR *out = reinterpret_cast<WCHAR *>(lParam);
      if (!out || wParam == 0) return 0;
      size_t n = control->text.size();
      if (n > wParam - 1) n = wParam - 1;
      std::wmemcpy(out, control->text.data(), n);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case BM_GETCHECK:
      return control->controlClass == ControlClass::Button ? control->check : 0;
    case BM_SETCHECK:
      if (control->controlClass == ControlClass::Button) {
        control->check = static_cast<int>(wParam);
        MarkDirty(control);
      }
      return 0;
    case BM_CLICK:
      if (control->controlClass == ControlClass::Button) ClickButton(control);
      return 0;
    case EM_LIMITTEXT:
      if (control->controlClass == ControlClass::Edit)
        control->limit = wParam == 0 ? kEditMaxLimit : static_cast<size_t>(wParam);
      return 0;
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      if (control->controlClass != ControlClass::ListBox) return LB_ERR;
      const WCHAR *text = reinterpret_cast<const WCHAR *>(lParam);
      std::wstring item = text ? text : L"";
      size_t at = control->items.size();
      if (message == LB_INSERTSTRING) {
        // -1 appends; an index past the end is an error.
        if (static_cast<int>(wParam) != -1) {
          if (wParam > control->items.size()) return LB_ERR;
          at = wParam;
        }
      } else if (control->style & LBS_SORT) {
        at = 0;
        while (at < control->items.size() && CompareNoCase(control->items[at].text, item) <= 0)
          ++at;
      }
      control->items.insert(control->items.begin() + static_cast<long>(at), ListItem{item, 0});
      if (control->selection >= static_cast<int>(at)) ++control->selection;
      MarkDirty(control);
      return static_cast<LRESULT>(at);
    }
    case LB_DELETESTRING: {
      if (control->controlClass != ControlClass::ListBox || wParam >= control->items.size())
        return LB_ERR;
      control->items.erase(control->items.begin() + static_cast<long>(wParam));
      if (control->selection == static_cast<int>(wParam))
        control->selection = -1;
      else if (control->selection > static_cast<int>(wParam))
        --control->selection;
      // The keyboard's item stays where it was, within the items left.
      if (control->caretItem >= static_cast<int>(control->items.size()))
        control->caretItem =
            control->items.empty() ? 0 : static_cast<int>(control->items.size()) - 1;
      MarkDirty(control);
      return static_cast<LRESULT>(control->items.size());
    }
    case LB_RESETCONTENT:
      if (control->controlClass != ControlClass::ListBox) return LB_ERR;
      control->items.clear();
      control->selection = -1;
      control->top = 0;
      control->caretItem = 0;
      MarkDirty(control);
      return LB_OKAY;
    case LB_GETCOUNT:
      return control->controlClass == ControlClass::ListBox
                 ? static_cast<LRESULT>(control->items.size())
                 : LB_ERR;
    case LB_SETCURSEL:
      if (control->controlClass != ControlClass::ListBox) return LB_ERR;
      if (static_cast<int>(wParam) < 0 || wParam >= control->items.size()) {
        control->selection = -1;
        MarkDirty(control);
        return LB_ERR;
      }
      control->selection = static_cast<int>(wParam);
      control->caretItem = control->selection;
      MarkDirty(control);
      return control->selection;
    case LB_GETCURSEL:
      return control->controlClass == ControlClass::ListBox ? control->selection : LB_ERR;
    case LB_GETTEXTLEN:
      if (control->controlClass != ControlClass::ListBox || wParam >= control->items.size())
        return LB_ERR;
      return static_cast<LRESULT>(control->items[wParam].text.size());
    case LB_GETTEXT: {
      // The buffer must hold the item: the platform copies it whole.
      if (control->controlClass != ControlClass::ListBox || wParam >= control->items.size())
        return LB_ERR;
      const std::wstring &text = control->items[wParam].text;
      WCHAR *out = reinterpret_cast<WCHAR *>(lParam);
      if (out) std::wmemcpy(out, text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETITEMDATA:
      if (control->controlClass != ControlClass::ListBox || wParam >= control->items.size())
        return LB_ERR;
      return control->items[wParam].data;
    case LB_SETITEMDATA:
      if (control->controlClass != ControlClass::ListBox || wParam >= control->items.size())
        return LB_ERR;
      control->items[wParam].data = lParam;
      return LB_OKAY;
    default:
      return 0;
  }
}

}  // namespace host

using host::Window;
using host::WindowFrom;

HWND CreateDialogIndirectParamW(HINSTANCE /*instance*/, LPCDLGTEMPLATEW dialogTemplate,
                                HWND /*owner*/, DLGPROC dialogProc, LPARAM initParam) {
  if (!dialogTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Window *dialog = host::BuildDialog(dialogTemplate, dialogProc, initParam);
  if (dialog->procedure) dialog->procedure(host::HandleOf(dialog), WM_INITDIALOG, 0, initParam);
  if (dialog->style & WS_VISIBLE) ShowWindow(host::HandleOf(dialog), SW_SHOW);
  return host::HandleOf(dialog);
}

HWND GetDlgItem(HWND dialog, int id) {
  Window *window = WindowFrom(dialog);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (auto &child : window->children)
    if (child->id == id) return host::HandleOf(child.get());
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

int GetDlgCtrlID(HWND control) {
  Window *window = WindowFrom(control);
  return window ? window->id : 0;
}

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
  Window *window = WindowFrom(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(
      host::ControlMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextW(HWND handle, LPWSTR text, int maxChars) {
  Window *window = WindowFrom(handle);
  if (!window || maxChars <= 0) {
    if (text && maxChars > 0) text[0] = 0;
    return 0;
  }
  return static_cast<int>(host::ControlMessage(window, WM_GETTEXT, static_cast<WPARAM>(maxChars),
                                               reinterpret_cast<LPARAM>(text)));
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SetWindowTextW(control, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxChars) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) {
    if (text && maxChars > 0) text[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowTextW(control, text, maxChars));
}

LRESULT SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Window *window = WindowFrom(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window->isDialog) {
    if (window->procedure) {
      INT_PTR handled = window->procedure(handle, message, wParam, lParam);
      if (handled) return handled;
    }
    // The default dialog handling: closing asks for Cancel.
    if (message == WM_CLOSE && window->procedure)
      window->procedure(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH)
      return host::ControlMessage(window, message, wParam, lParam);
    return 0;
  }
  return host::ControlMessage(window, message, wParam, lParam);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL ShowWindow(HWND handle, int command) {
  Window *window = WindowFrom(handle);
  if (!window) return FALSE;
  BOOL wasVisible = window->visible ? TRUE : FALSE;
  window->visible = command != SW_HIDE;
  host::MarkDirty(window);
  if (!window->parent && window->visible != (wasVisible != FALSE)) host::Shown(window);
  return wasVisible;
}

BOOL SetForegroundWindow(HWND handle) { return WindowFrom(handle) ? TRUE : FALSE; }

BOOL UpdateWindow(HWND handle) {
  Window *window = WindowFrom(handle);
  if (!window) return FALSE;
  ++window->repaints;
  host::Repaint(window);
  return TRUE;
}

// Gives the keyboard focus to a window; returns the window that had it.
// A handle that is not a window changes nothing and returns null.
HWND SetFocus(HWND handle) {
  Window *previous = host::FocusWindow();
  Window *window = WindowFrom(handle);
  if (!window) {
    if (handle) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  host::SetFocusWindow(window);
  return host::HandleOf(previous);
}

HWND GetFocus(void) { return host::HandleOf(host::FocusWindow()); }

BOOL IsWindow(HWND handle) { return WindowFrom(handle) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND handle) {
  Window *window = WindowFrom(handle);
  if (!window || window->parent) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (window->procedure) window->procedure(handle, WM_DESTROY, 0, 0);
  host::Forget(window);
  host::FreeWindow(window);
  return TRUE;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE /*instance*/, LPCDLGTEMPLATEW dialogTemplate,
                                HWND /*owner*/, DLGPROC procedure, LPARAM initParam) {
  using host::InputEvent;
  using host::InputSource;
  using host::Key;
  if (!dialogTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  InputSource source = host::OpenInput();
  if (source == InputSource::None) {
    if (host::g_noInputHint) std::fputs(host::g_noInputHint, stderr);
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  Window *dialog = host::BuildDialog(dialogTemplate, procedure, initParam);
  HWND handle = host::HandleOf(dialog);
  Window *outerModal = host::SetInputWindow(dialog);
  // WM_INITDIALOG offers the first tab stop for the focus. A procedure that
  // returns TRUE asks for the default focus, and the dialog manager then
  // gives it to the first tab stop (counted again, as the procedure may have
  // changed the controls), whatever focus the procedure set itself; one
  // that returns FALSE keeps the focus it set.
  Window *first = host::FirstTabStop(dialog);
  INT_PTR initResult = procedure
                           ? procedure(handle, WM_INITDIALOG,
                                       reinterpret_cast<WPARAM>(host::HandleOf(first)), initParam)
                           : TRUE;
  if (WindowFrom(handle) && initResult) {
    if (Window *focus = host::FirstTabStop(dialog)) host::FocusByKeyboard(focus);
  }
  bool ranOut = false;
  bool escSent = false;
  if (WindowFrom(handle) && !dialog->ended) ShowWindow(handle, SW_SHOW);
  while (WindowFrom(handle) && !dialog->ended) {
    InputEvent event;
    if (!host::NextInput(source, dialog, &event)) ranOut = true;
    if (ranOut) {
      // The input ran out before the dialog ended: that reads as Esc, as if
      // the user had cancelled. A dialog that ignores Esc too is ended here,
      // so that nothing waits for input that cannot come.
      if (escSent) {
        std::fprintf(stderr, "tovik: the dialog input ran out and the dialog ignored Esc\n");
        EndDialog(handle, -1);
        break;
      }
      escSent = true;
      event = InputEvent{};
      event.key = Key::Esc;
    }
    host::HandleDialogInput(dialog, event);
  }
  host::SetInputWindow(outerModal);
  INT_PTR result = -1;
  if (WindowFrom(handle)) {
    result = dialog->result;
    DestroyWindow(handle);
  }
  // A dialog that ended in WM_INITDIALOG was never shown: the terminal
  // taken for it goes back too.
  host::ReleaseIfIdle();
  return result;
}

BOOL EndDialog(HWND handle, INT_PTR result) {
  Window *window = WindowFrom(handle);
  if (!window || !window->isDialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->ended = true;
  window->result = result;
  return TRUE;
}

int MessageBoxW(HWND /*owner*/, LPCWSTR text, LPCWSTR caption, UINT /*type*/) {
  return host::ShowMessageBox(text ? text : L"", caption ? caption : L"");
}
