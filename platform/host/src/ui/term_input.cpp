// term_input.cpp - the keyboard of a modal dialog, as the device's dialog
// manager and controls handle it: Tab and Shift-Tab move among the tab
// stops, arrows on buttons and check boxes move within the group, Space and
// Enter press buttons, Esc cancels, an edit takes typed text, a list box
// moves its selection with the arrows and to an item by its first letter.
// The events come from the terminal or from a test's script; nothing here
// draws.
#include "internal.h"
#include "window_internal.h"

namespace host {
namespace {

bool CanTakeFocus(const Window *w) {
  return (w->style & WS_TABSTOP) && w->visible && !(w->style & WS_DISABLED) &&
         w->controlClass != ControlClass::Static;
}

// The next (or previous) tab stop after `from` in template order, wrapping
// around; `from` null starts before the first (or after the last).
Window *NextTabStop(Window *dialog, Window *from, bool backwards) {
  auto &c = dialog->children;
  const long n = static_cast<long>(c.size());
  if (n == 0) return nullptr;
  long start = -1;
  for (long i = 0; i < n; ++i)
    if (c[static_cast<size_t>(i)].get() == from) start = i;
  if (start < 0) start = backwards ? 0 : n - 1;
  for (long step = 1; step <= n; ++step) {
    long i = backwards ? (start - step + n * 2) % n : (start + step) % n;
    Window *w = c[static_cast<size_t>(i)].get();
    if (CanTakeFocus(w)) return w;
  }
  return nullptr;
}

Window *Child(Window *dialog, int id) {
  for (auto &child : dialog->children)
    if (child->id == id) return child.get();
  return nullptr;
}

// The default push button: the one that has the focus, else the template's
// BS_DEFPUSHBUTTON.
Window *DefaultButton(Window *dialog, Window *focus) {
  if (focus && focus->parent == dialog && IsPushButton(focus)) return focus;
  for (auto &child : dialog->children)
    if (child->controlClass == ControlClass::Button && ButtonKind(child.get()) == BS_DEFPUSHBUTTON)
      return child.get();
  return nullptr;
}

void SendCommand(Window *dialog, int id, WORD code, Window *from) {
  if (dialog->procedure)
    dialog->procedure(HandleOf(dialog), WM_COMMAND, MAKEWPARAM(id, code),
                      reinterpret_cast<LPARAM>(HandleOf(from)));
}

// Keeps the caret of an edit in view.
void ScrollToCaret(Window *edit) {
  size_t width = EditFieldWidth(edit);
  if (edit->caret < edit->scroll) edit->scroll = edit->caret;
  if (edit->caret >= edit->scroll + width) edit->scroll = edit->caret - width + 1;
}

void EditKey(Window *edit, const InputEvent &event) {
  std::wstring before = edit->text;
  bool selected = edit->selectAll;
  edit->selectAll = false;
  if (edit->caret > edit->text.size()) edit->caret = edit->text.size();
  switch (event.key) {
    case Key::Left:
      if (!selected && edit->caret > 0) --edit->caret;
      if (selected) edit->caret = 0;
      break;
    case Key::Right:
      if (!selected && edit->caret < edit->text.size()) ++edit->caret;
      if (selected) edit->caret = edit->text.size();
      break;
    case Key::Home:
      edit->caret = 0;
      break;
    case Key::End:
      edit->caret = edit->text.size();
      break;
    case Key::Backspace:
      if (selected) {
        edit->text.clear();
        edit->caret = 0;
      } else if (edit->caret > 0) {
        edit->text.erase(--edit->caret, 1);
      }
      break;
    case Key::Delete:
      if (selected) {
        edit->text.clear();
        edit->caret = 0;
      } else if (edit->caret < edit->text.size()) {
        edit->text.erase(edit->caret, 1);
      }
      break;
    case Key::Space:
    case Key::Char: {
      unsigned long ch = static_cast<unsigned long>(event.key == Key::Space ? L' ' : event.ch);
      // Control characters are no text. The device's text is UTF-16: a
      // character beyond U+FFFF is a surrogate pair, two units.
      if (ch < 0x20 || ch == 0x7F || ch > 0x10FFFF) break;
      std::wstring units(1, static_cast<wchar_t>(ch));
      if (ch > 0xFFFF)
        units = {static_cast<wchar_t>(0xD800 + ((ch - 0x10000) >> 10)),
                 static_cast<wchar_t>(0xDC00 + ((ch - 0x10000) & 0x3FF))};
      if (selected) {
        edit->text.clear();
        edit->caret = 0;
      }
      // The limit binds what is typed; without automatic horizontal scroll
      // the text must also fit the field.
      size_t after = edit->text.size() + units.size();
      bool full =
          after > edit->limit || (!(edit->style & ES_AUTOHSCROLL) && after > EditFieldWidth(edit));
      if (full) {
        if (edit->text != before) Notify(edit, EN_CHANGE);
        MarkDirty(edit);
        Notify(edit, kEnMaxText);
        return;
      }
      edit->text.insert(edit->caret, units);
      edit->caret += units.size();
      break;
    }
    default:
      break;
  }
  ScrollToCaret(edit);
  MarkDirty(edit);
  if (edit->text != before) Notify(edit, EN_CHANGE);
}

// Moves a list box's selection and keyboard item to `now`, scrolling it
// into view and telling an LBS_NOTIFY list box's dialog.
void SelectListItem(Window *list, int now) {
  list->caretItem = now;
  if (now == list->selection) return;
  list->selection = now;
  int rows = ListRows(list);
  if (now < list->top) list->top = now;
  if (now >= list->top + rows) list->top = now - rows + 1;
  MarkDirty(list);
  if (list->style & LBS_NOTIFY) Notify(list, LBN_SELCHANGE);
}

// The next item after the keyboard's item, wrapping around, whose text
// starts with `ch` without regard to case; -1 when none does.
int ItemStartingWith(const Window *list, wchar_t ch) {
  int count = static_cast<int>(list->items.size());
  WCHAR wanted = UpperChar(static_cast<WCHAR>(ch));
  for (int step = 1; step <= count; ++step) {
    int i = (list->caretItem + step) % count;
    const std::wstring &text = list->items[static_cast<size_t>(i)].text;
    if (!text.empty() && UpperChar(text[0]) == wanted) return i;
  }
  return -1;
}

// A key in a single-selection list box. The movement keys (and Space) go
// from the keyboard's item; while that is not the selected item (after the
// list was filled, say), they select it instead. A typed character (Space
// too) then selects the next item that starts with it.
void ListKey(Window *list, const InputEvent &event) {
  int count = static_cast<int>(list->items.size());
  if (count == 0) return;
  if (list->caretItem >= count) list->caretItem = count - 1;
  int at = list->caretItem;
  int now = -1;
  switch (event.key) {
    case Key::Up:
    case Key::Left:
      now = at > 0 ? at - 1 : 0;
      break;
    case Key::Down:
    case Key::Right:
      now = at + 1 < count ? at + 1 : count - 1;
      break;
    case Key::Home:
      now = 0;
      break;
    case Key::End:
      now = count - 1;
      break;
    case Key::Space:
      if (list->selection != at) SelectListItem(list, at);
      break;
    default:
      break;
  }
  if (now >= 0) {
    SelectListItem(list, list->selection != at ? at : now);
    return;
  }
  if (event.key != Key::Char && event.key != Key::Space) return;
  int found = ItemStartingWith(list, event.key == Key::Space ? L' ' : event.ch);
  if (found >= 0) SelectListItem(list, found);
}

// The control an arrow key moves the focus to from `from`: the next (or
// previous) visible, enabled control of its group (GroupOf), in template
// order and wrapping within the group; null when there is no other.
Window *NextInGroup(Window *from, bool backwards) {
  auto &c = from->parent->children;
  size_t first = 0, end = 0;
  size_t at = GroupOf(from, &first, &end);
  const size_t size = end - first;
  for (size_t step = 1; step < size; ++step) {
    size_t i = first + (backwards ? at - first + size - step : at - first + step) % size;
    Window *w = c[i].get();
    if (w->visible && !(w->style & WS_DISABLED)) return w;
  }
  return nullptr;
}

void MoveFocus(Window *dialog, bool backwards) {
  Window *focus = FocusWindow();
  if (focus && focus->parent != dialog) focus = nullptr;
  if (Window *next = NextTabStop(dialog, focus, backwards)) FocusByKeyboard(next);
}

}  // namespace

Window *FirstTabStop(Window *dialog) { return NextTabStop(dialog, nullptr, false); }

void FocusByKeyboard(Window *control) {
  SetFocusWindow(control);
  if (control->controlClass == ControlClass::Edit) {
    // Reaching an edit by keyboard selects its text, so typing replaces it.
    control->selectAll = !control->text.empty();
    control->caret = control->text.size();
    ScrollToCaret(control);
    MarkDirty(control);
  }
}

void HandleDialogInput(Window *dialog, const InputEvent &event) {
  Window *focus = FocusWindow();
  if (focus && focus->parent != dialog) focus = nullptr;
  switch (event.key) {
    case Key::Tab:
      MoveFocus(dialog, false);
      return;
    case Key::ShiftTab:
      MoveFocus(dialog, true);
      return;
    case Key::Esc:
      SendCommand(dialog, IDCANCEL, BN_CLICKED, Child(dialog, IDCANCEL));
      return;
    case Key::Enter: {
      Window *button = DefaultButton(dialog, focus);
      if (button && !(button->style & WS_DISABLED))
        SendCommand(dialog, button->id, BN_CLICKED, button);
      else if (!button)
        SendCommand(dialog, IDOK, BN_CLICKED, nullptr);
      return;
    }
    case Key::Press: {
      Window *control = Child(dialog, event.id);
      if (!control || (control->style & WS_DISABLED)) return;
      if (control->controlClass == ControlClass::Static) return;
      SetFocusWindow(control);
      if (control->controlClass == ControlClass::Button) ClickButton(control);
      return;
    }
    default:
      break;
  }
  if (!focus) return;
  bool arrow = event.key == Key::Up || event.key == Key::Down || event.key == Key::Left ||
               event.key == Key::Right;
  if (arrow && focus->controlClass != ControlClass::Edit &&
      focus->controlClass != ControlClass::ListBox) {
    // Controls that leave the arrows to the dialog manager (buttons, check
    // boxes): it moves the focus within the group.
    bool backwards = event.key == Key::Up || event.key == Key::Left;
    Window *next = NextInGroup(focus, backwards);
    if (!next) return;
    FocusByKeyboard(next);
    // Reaching an unticked automatic radio button so ticks it.
    if (next->controlClass == ControlClass::Button && ButtonKind(next) == BS_AUTORADIOBUTTON &&
        next->check != BST_CHECKED)
      ClickButton(next);
    return;
  }
  switch (focus->controlClass) {
    case ControlClass::Button:
      if (event.key == Key::Space) ClickButton(focus);
      return;
    case ControlClass::Edit:
      EditKey(focus, event);
      return;
    case ControlClass::ListBox:
      ListKey(focus, event);
      return;
    default:
      return;
  }
}

}  // namespace host
