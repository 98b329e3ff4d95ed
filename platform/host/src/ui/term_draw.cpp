// term_draw.cpp - drawing windows on the terminal: a frame with a caption
// bar, statics (left, centred or right, bordered or not), the icon static as
// a small mark, push buttons "[ text ]", check boxes "[x] text", edits as
// bracketed fields and list boxes with their selection. Everything is drawn
// from the looks captured at a repaint, with the terminal's lock held.
#include <algorithm>

#include "internal.h"
#include "window_internal.h"
// ncurses last: its macros stay out of the headers above.
#include "term_curses.h"

namespace host {
namespace {

// Columns a character takes: 1, or 2 for the wide ones. A character the
// terminal cannot show at all is drawn as '?'.
int CharWidth(wchar_t c) {
  int n = ::wcwidth(c);
  return n < 1 ? 1 : n;
}

// Writes text at row/col in at most `width` columns, clipped to the screen.
void Put(int row, int col, const std::wstring &text, int width, attr_t attr) {
  int rows, cols;
  getmaxyx(stdscr, rows, cols);
  if (row < 0 || row >= rows) return;
  for (size_t i = 0; i < text.size(); ++i) {
    // A surrogate pair of the device's UTF-16 text is one character here.
    wchar_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    }
    int w = CharWidth(c);
    if (width < w) break;
    if (col >= 0 && col + w <= cols) {
      wchar_t shown[2] = {::wcwidth(c) < 1 ? L'?' : c, 0};
      cchar_t cell;
      setcchar(&cell, shown, attr, 0, nullptr);
      mvwadd_wch(stdscr, row, col, &cell);
    }
    col += w;
    width -= w;
  }
}

void Fill(int row, int col, int width, attr_t attr) {
  if (width > 0) Put(row, col, std::wstring(static_cast<size_t>(width), L' '), width, attr);
}

void PutLine(int row, int col, const cchar_t *line, int count) {
  int rows, cols;
  getmaxyx(stdscr, rows, cols);
  if (row < 0 || row >= rows) return;
  for (int i = 0; i < count; ++i)
    if (col + i >= 0 && col + i < cols) mvwadd_wch(stdscr, row, col + i, line);
}

void PutCell(int row, int col, const cchar_t *cell) { PutLine(row, col, cell, 1); }

// A box drawn with line characters on the edges of the rectangle.
void Box(int row, int col, int width, int height) {
  if (width < 2 || height < 2) return;
  PutCell(row, col, WACS_ULCORNER);
  PutLine(row, col + 1, WACS_HLINE, width - 2);
  PutCell(row, col + width - 1, WACS_URCORNER);
  for (int r = row + 1; r < row + height - 1; ++r) {
    PutCell(r, col, WACS_VLINE);
    PutCell(r, col + width - 1, WACS_VLINE);
  }
  PutCell(row + height - 1, col, WACS_LLCORNER);
  PutLine(row + height - 1, col + 1, WACS_HLINE, width - 2);
  PutCell(row + height - 1, col + width - 1, WACS_LRCORNER);
}

int TextWidth(const std::wstring &text) {
  int n = 0;
  for (wchar_t c : text) n += CharWidth(c);
  return n;
}

// Breaks text into lines of at most `width` columns: at line feeds, then at
// spaces, and inside a word that alone is longer than a line (paths are
// better broken than cut off).
std::vector<std::wstring> Wrap(const std::wstring &text, int width) {
  std::vector<std::wstring> lines;
  if (width < 1) width = 1;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring paragraph = text.substr(start, end - start);
    if (!paragraph.empty() && paragraph.back() == L'\r') paragraph.pop_back();
    do {
      if (TextWidth(paragraph) <= width) {
        lines.push_back(paragraph);
        break;
      }
      size_t cut = 0;
      int used = 0;
      while (cut < paragraph.size() && used + CharWidth(paragraph[cut]) <= width)
        used += CharWidth(paragraph[cut++]);
      size_t space = paragraph.rfind(L' ', cut);
      size_t take = (space != std::wstring::npos && space > 0) ? space : (cut ? cut : 1);
      lines.push_back(paragraph.substr(0, take));
      size_t next = take;
      while (next < paragraph.size() && paragraph[next] == L' ') ++next;
      paragraph.erase(0, next);
    } while (!paragraph.empty());
    start = end + 1;
  }
  return lines;
}

struct Rect {
  int row, col, width, height;
};

Rect CellRect(const Window *window, const Window *control) {
  return Rect{window->row + 1 + CellRow(control->y), window->col + 1 + CellCol(control->x),
              CellWidth(control), CellHeight(control)};
}

bool Overlap(const Rect &a, const Rect &b) {
  return a.row < b.row + b.height && b.row < a.row + a.height && a.col < b.col + b.width &&
         b.col < a.col + a.width;
}

void DrawAligned(const Rect &r, const std::vector<std::wstring> &lines, DWORD align, attr_t attr) {
  for (size_t i = 0; i < lines.size() && static_cast<int>(i) < r.height; ++i) {
    int w = std::min(TextWidth(lines[i]), r.width);
    int col = r.col;
    if (align == SS_CENTER) col += (r.width - w) / 2;
    if (align == SS_RIGHT) col += r.width - w;
    Put(r.row + static_cast<int>(i), col, lines[i], r.width, attr);
  }
}

void DrawStatic(const Window *control, Rect r) {
  DWORD kind = control->style & SS_TYPEMASK;
  if (kind == SS_ICON) {
    // The program icon as a small mark: a diamond in a little box.
    int w = std::min(r.width, 3), h = std::min(r.height, 3);
    int row = r.row + (r.height - h) / 2, col = r.col + (r.width - w) / 2;
    if (w == 3 && h == 3) {
      Box(row, col, 3, 3);
      PutCell(row + 1, col + 1, WACS_DIAMOND);
    } else {
      PutCell(row, col, WACS_DIAMOND);
    }
    return;
  }
  if ((control->style & WS_BORDER) && r.width >= 3 && r.height >= 3) {
    Box(r.row, r.col, r.width, r.height);
    r = Rect{r.row + 1, r.col + 1, r.width - 2, r.height - 2};
  }
  DrawAligned(r, Wrap(control->look.text, r.width), kind, A_NORMAL);
}

void DrawButton(const Window *control, const Rect &r) {
  const Look &look = control->look;
  DWORD kind = ButtonKind(control);
  int middle = r.row + (r.height - 1) / 2;
  switch (kind) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
      bool radio = kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON;
      std::wstring mark = radio ? (look.check ? L"(*) " : L"( ) ")
                                : (look.check == BST_CHECKED ? L"[x] "
                                   : look.check              ? L"[-] "
                                                             : L"[ ] ");
      Put(middle, r.col, mark, r.width, A_NORMAL);
      Put(middle, r.col + 4, look.text, r.width - 4, look.focused ? A_REVERSE : A_NORMAL);
      return;
    }
    case BS_GROUPBOX:
      Box(r.row, r.col, r.width, r.height);
      Put(r.row, r.col + 1, look.text, r.width - 2, A_NORMAL);
      return;
    default:
      break;
  }
  // A push button: its text in brackets, centred; the default one bold,
  // the focused one in reverse.
  std::vector<std::wstring> lines =
      (control->style & BS_MULTILINE) ? Wrap(look.text, r.width - 4) : Wrap(look.text, 1 << 20);
  if (lines.size() > static_cast<size_t>(r.height)) lines.resize(static_cast<size_t>(r.height));
  int inner = 0;
  for (auto &line : lines) inner = std::max(inner, TextWidth(line));
  int pad = inner + 4 <= r.width ? 1 : 0;
  int total = std::min(inner + 2 + pad * 2, r.width);
  int col = r.col + (r.width - total) / 2;
  int row = r.row + (r.height - static_cast<int>(lines.size())) / 2;
  attr_t attr = look.focused ? A_REVERSE : (kind == BS_DEFPUSHBUTTON ? A_BOLD : A_NORMAL);
  for (size_t i = 0; i < lines.size(); ++i) {
    int w = TextWidth(lines[i]);
    std::wstring text = L"[" + std::wstring(static_cast<size_t>(pad), L' ') +
                        std::wstring(static_cast<size_t>((inner - w) / 2), L' ') + lines[i];
    text += std::wstring(static_cast<size_t>(std::max(0, total - 1 - TextWidth(text))), L' ');
    text += L"]";
    Put(row + static_cast<int>(i), col, text, total, attr);
  }
}

void DrawEdit(const Window *control, const Rect &r) {
  const Look &look = control->look;
  int row = r.row + (r.height - 1) / 2;
  int field = std::max(1, r.width - 2);
  Put(row, r.col, L"[", 1, A_NORMAL);
  Fill(row, r.col + 1, field, A_UNDERLINE);
  std::wstring shown =
      look.scroll < look.text.size() ? look.text.substr(look.scroll) : std::wstring();
  Put(row, r.col + 1, shown, field, look.selectAll ? A_REVERSE : A_UNDERLINE);
  if (r.width >= 2) Put(row, r.col + r.width - 1, L"]", 1, A_NORMAL);
}

void DrawList(const Window *control, const Rect &r) {
  const Look &look = control->look;
  bool border = (control->style & WS_BORDER) && r.width >= 3;
  int col = border ? r.col + 1 : r.col;
  int width = border ? r.width - 2 : r.width;
  int count = static_cast<int>(look.items.size());
  for (int i = 0; i < r.height; ++i) {
    int item = look.top + i;
    if (border) {
      PutCell(r.row + i, r.col, WACS_VLINE);
      const cchar_t *edge = WACS_VLINE;
      if (control->style & WS_VSCROLL) {
        if (i == 0 && look.top > 0) edge = WACS_UARROW;
        if (i == r.height - 1 && look.top + r.height < count) edge = WACS_DARROW;
      }
      PutCell(r.row + i, r.col + r.width - 1, edge);
    }
    attr_t attr = item == look.selection ? A_REVERSE : A_NORMAL;
    Fill(r.row + i, col, width, attr);
    if (item < count) Put(r.row + i, col, look.items[static_cast<size_t>(item)], width, attr);
  }
}

void DrawControl(Window *window, Window *control) {
  Rect r = CellRect(window, control);
  for (int i = 0; i < r.height; ++i) Fill(r.row + i, r.col, r.width, A_NORMAL);
  control->needsDraw = false;
  if (!control->look.visible) return;
  switch (control->controlClass) {
    case ControlClass::Static:
      DrawStatic(control, r);
      break;
    case ControlClass::Button:
      DrawButton(control, r);
      break;
    case ControlClass::Edit:
      DrawEdit(control, r);
      break;
    case ControlClass::ListBox:
      DrawList(control, r);
      break;
    default:
      Put(r.row, r.col, control->look.text, r.width, A_NORMAL);
      break;
  }
  control->needsDraw = false;
}

}  // namespace

int FrameWidth(const Window *window) { return CellCol(window->cx) + 2; }
int FrameHeight(const Window *window) { return CellRow(window->cy) + 2; }

void CaptureLook(Window *window, bool all) {
  if (all || window->dirty) {
    window->look.text = window->text;
    window->dirty = false;
  }
  if (all) window->needsDraw = true;
  Window *focus = FocusWindow();
  for (auto &child : window->children) {
    Window *c = child.get();
    if (!all && !c->dirty) continue;
    Look &look = c->look;
    look.text = c->text;
    look.check = c->check;
    look.selection = c->selection;
    look.caret = c->caret;
    look.scroll = c->scroll;
    look.selectAll = c->selectAll;
    look.focused = c == focus;
    look.visible = c->visible;
    if (c->controlClass == ControlClass::ListBox) {
      look.items.resize(c->items.size());
      for (size_t i = 0; i < c->items.size(); ++i) look.items[i] = c->items[i].text;
      int rows = ListRows(c), count = static_cast<int>(c->items.size());
      if (c->top > count - rows) c->top = std::max(0, count - rows);
      if (c->selection >= 0 && c->selection < c->top) c->top = c->selection;
      if (c->selection >= c->top + rows) c->top = c->selection - rows + 1;
      look.top = c->top;
    }
    c->dirty = false;
    c->needsDraw = true;
  }
}

void DrawWindow(Window *window, bool full) {
  full = full || window->needsDraw;
  if (full) {
    int width = FrameWidth(window), height = FrameHeight(window);
    // The caption bar is the frame's top edge.
    Fill(window->row, window->col, width, A_REVERSE);
    Put(window->row, window->col + 1, window->look.text, width - 2, A_REVERSE | A_BOLD);
    for (int r = window->row + 1; r < window->row + height - 1; ++r) {
      PutCell(r, window->col, WACS_VLINE);
      Fill(r, window->col + 1, width - 2, A_NORMAL);
      PutCell(r, window->col + width - 1, WACS_VLINE);
    }
    PutCell(window->row + height - 1, window->col, WACS_LLCORNER);
    PutLine(window->row + height - 1, window->col + 1, WACS_HLINE, width - 2);
    PutCell(window->row + height - 1, window->col + width - 1, WACS_LRCORNER);
    window->needsDraw = false;
    for (auto &child : window->children) DrawControl(window, child.get());
    return;
  }
  // Only what changed. A control drawn again clears its cells, so the
  // controls that share cells with it are drawn again too, in template order
  // (the template's buttons touch each other).
  auto &children = window->children;
  std::vector<Rect> changed;
  for (auto &child : children)
    if (child->needsDraw) changed.push_back(CellRect(window, child.get()));
  if (changed.empty()) return;
  for (auto &child : children) {
    Rect r = CellRect(window, child.get());
    bool touched = child->needsDraw;
    for (const Rect &other : changed) touched = touched || Overlap(r, other);
    if (touched) DrawControl(window, child.get());
  }
}

bool CursorFor(Window *window, int *row, int *col) {
  for (auto &child : window->children) {
    Window *c = child.get();
    if (!c->look.focused || c->controlClass != ControlClass::Edit) continue;
    Rect r = CellRect(window, c);
    size_t offset = c->look.caret >= c->look.scroll ? c->look.caret - c->look.scroll : 0;
    offset = std::min(offset, static_cast<size_t>(std::max(0, r.width - 3)));
    *row = r.row + (r.height - 1) / 2;
    *col = r.col + 1 + static_cast<int>(offset);
    return true;
  }
  return false;
}

void DrawMessageBox(const std::wstring &text, const std::wstring &caption, int *cursorRow,
                    int *cursorCol) {
  int rows, cols;
  getmaxyx(stdscr, rows, cols);
  int wrapAt = std::max(10, std::min(60, cols - 6));
  std::vector<std::wstring> lines = Wrap(text, wrapAt);
  int inner = std::max(TextWidth(caption) + 2, 8);
  for (auto &line : lines) inner = std::max(inner, TextWidth(line));
  int width = inner + 4, height = static_cast<int>(lines.size()) + 5;
  int row = std::max(0, (rows - height) / 2), col = std::max(0, (cols - width) / 2);
  Fill(row, col, width, A_REVERSE);
  Put(row, col + 1, caption, width - 2, A_REVERSE | A_BOLD);
  for (int r = row + 1; r < row + height - 1; ++r) {
    PutCell(r, col, WACS_VLINE);
    Fill(r, col + 1, width - 2, A_NORMAL);
    PutCell(r, col + width - 1, WACS_VLINE);
  }
  PutCell(row + height - 1, col, WACS_LLCORNER);
  PutLine(row + height - 1, col + 1, WACS_HLINE, width - 2);
  PutCell(row + height - 1, col + width - 1, WACS_LRCORNER);
  for (size_t i = 0; i < lines.size(); ++i)
    Put(row + 2 + static_cast<int>(i), col + 2, lines[i], inner, A_NORMAL);
  int buttonRow = row + height - 2, buttonCol = col + (width - 6) / 2;
  Put(buttonRow, buttonCol, L"[ OK ]", 6, A_REVERSE);
  *cursorRow = buttonRow;
  *cursorCol = buttonCol + 2;
}

}  // namespace host
