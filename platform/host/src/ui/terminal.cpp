// terminal.cpp - how windows show on the host, and where their keys come
// from.
//
// When the program runs attached to a terminal (standard input and output
// are terminals and TERM names a usable one), shown windows are drawn there
// with ncurses, the window taking input reads its keys there and a message
// box waits for OK. Without a terminal nothing is drawn, no keys come, and
// message box texts go to standard error. Tests can stand a script of input
// events in for the keyboard (platform_testing.h). What a key does in a
// dialog is the dialog manager's business (windows.cpp, term_input.cpp):
// the terminal hands over events and draws looks, and knows no dialogs.
//
// Repainting is cheap: UpdateWindow only copies what changed into the
// window's look; the screen is written at most every kFlushInterval, and a
// refresh thread writes the last state when the program stops repainting
// (a long checksum after a burst of directories still shows the right
// directory). All curses calls and all looks are guarded by one lock.
//
// While curses owns the terminal, standard error is held in a temporary
// file and written out when the terminal is given back, so that nothing
// written there is lost on the alternate screen or scribbles over a window.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <thread>

#include "internal.h"
#include "platform_testing.h"
#include "window_internal.h"
// ncurses last: its macros stay out of the headers above.
#include "term_curses.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

// The screen is written at most this often while the program repaints.
constexpr auto kFlushInterval = std::chrono::milliseconds(40);

// Signals after which the terminal is given back before the process ends.
constexpr int kSignals[] = {SIGSEGV, SIGBUS,  SIGFPE, SIGILL, SIGABRT,
                            SIGINT,  SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

struct Terminal {
  std::mutex lock;               // guards curses, the looks and the fields below it
  std::condition_variable wake;  // tells the refresh thread that a flush waits
  std::thread refresher;         // writes the screen when a flush falls due
  bool active = false;           // curses owns the terminal
  SCREEN *screen = nullptr;
  bool stopping = false;          // the refresh thread is to end
  bool pending = false;           // drawn state waits for the next flush
  bool fullRedraw = false;        // the whole screen is to be drawn again
  Clock::time_point lastFlush;    // when the screen was last written
  std::vector<Window *> shown;    // shown top-level windows, bottom first
  Window *inputWindow = nullptr;  // the window taking keys, if any: its cursor shows
  bool boxUp = false;             // a message box is on the screen
  std::wstring boxText, boxCaption;
  bool cursorOn = false;  // the terminal cursor is visible
  // Standard error while curses runs.
  int stderrCopy = -1;  // the real standard error
  int heldFd = -1;      // what was written there meanwhile
  std::string locale;   // LC_CTYPE before the terminal was taken
  struct sigaction previous[kSignalCount];
  bool exitHook = false;  // the atexit handler is installed
  // Tests.
  bool allowed = true;            // PlatformUseTerminal
  bool scripted = false;          // a script stands in for the keyboard
  std::deque<InputEvent> script;  // its events still to come
  bool holdForKey = false;        // PlatformHoldWindowsForKey
};

// Never destroyed: the refresh thread and the exit handler may outlive
// static destruction.
Terminal &g = *new Terminal;

// --- Standard error ---------------------------------------------------------

void HoldStandardError() {
  std::fflush(stderr);
  char name[] = "/tmp/tovik-stderr-XXXXXX";
  int fd = ::mkstemp(name);
  if (fd < 0) return;
  ::unlink(name);
  int copy = ::dup(2);
  if (copy < 0 || ::dup2(fd, 2) < 0) {
    if (copy >= 0) ::close(copy);
    ::close(fd);
    return;
  }
  g.stderrCopy = copy;
  g.heldFd = fd;
}

// Gives standard error back and writes out what was held. Only
// async-signal-safe calls, so a crash handler may use it.
void ReleaseStandardError() {
  if (g.stderrCopy < 0) return;
  ::dup2(g.stderrCopy, 2);
  ::close(g.stderrCopy);
  g.stderrCopy = -1;
  char buffer[4096];
  ::lseek(g.heldFd, 0, SEEK_SET);
  for (ssize_t n; (n = ::read(g.heldFd, buffer, sizeof buffer)) > 0;) {
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(2, buffer + done, static_cast<size_t>(n - done));
      if (w <= 0) break;
      done += w;
    }
  }
  ::close(g.heldFd);
  g.heldFd = -1;
}

// --- Taking and giving back the terminal -------------------------------------

void OnSignal(int signal) {
  if (g.active) {
    // Best effort: the process is going down anyway.
    endwin();
    g.active = false;
    ReleaseStandardError();
  }
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == signal) ::sigaction(signal, &g.previous[i], nullptr);
  ::raise(signal);
}

void StopTerminal();

void AtExit() { StopTerminal(); }

bool TerminalAttached() {
  if (!g.allowed || g.scripted) return false;
  if (!::isatty(0) || !::isatty(1)) return false;
  const char *term = std::getenv("TERM");
  return term && *term && std::strcmp(term, "dumb") != 0;
}

void FlushLocked();

void RefreshThread() {
  std::unique_lock<std::mutex> hold(g.lock);
  while (!g.stopping) {
    if (!g.pending) {
      g.wake.wait(hold);
      continue;
    }
    Clock::time_point due = g.lastFlush + kFlushInterval;
    if (Clock::now() < due) {
      g.wake.wait_until(hold, due);
      continue;
    }
    FlushLocked();
  }
}

// Takes the terminal for drawing; false when there is none to take.
bool StartTerminal() {
  if (g.active) return true;
  if (!TerminalAttached()) return false;
  const char *locale = std::setlocale(LC_CTYPE, nullptr);
  g.locale = locale ? locale : "C";
  // Window texts are wide: the terminal is written in the user's character
  // set, or UTF-8 when the user's locale names none beyond ASCII.
  const char *set = std::setlocale(LC_CTYPE, "");
  if (!set || std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
  // The signals' dispositions from before ncurses puts its own handlers in
  // (which would end the process with status 1): after restoring the
  // terminal, a signal goes on to what the process had.
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], nullptr, &g.previous[i]);
  std::fflush(stdout);
  SCREEN *screen = newterm(nullptr, stdout, stdin);
  if (!screen) {
    std::setlocale(LC_CTYPE, g.locale.c_str());
    return false;
  }
  g.screen = screen;
  set_term(screen);
  cbreak();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  g.cursorOn = false;
  HoldStandardError();
  for (int i = 0; i < kSignalCount; ++i) {
    if (g.previous[i].sa_handler == SIG_IGN) continue;  // stays ignored
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(kSignals[i], &action, nullptr);
  }
  if (!g.exitHook) {
    std::atexit(AtExit);
    g.exitHook = true;
  }
  g.active = true;
  g.stopping = false;
  g.pending = false;
  g.fullRedraw = true;
  g.lastFlush = Clock::now() - kFlushInterval;
  g.refresher = std::thread(RefreshThread);
  return true;
}

// Gives the terminal back as it was found.
void StopTerminal() {
  if (!g.active) return;
  {
    std::lock_guard<std::mutex> hold(g.lock);
    g.stopping = true;
  }
  g.wake.notify_all();
  if (g.refresher.joinable()) g.refresher.join();
  {
    std::lock_guard<std::mutex> hold(g.lock);
    endwin();
    delscreen(g.screen);
    g.screen = nullptr;
    g.active = false;
    g.shown.clear();
  }
  std::fflush(stderr);
  ReleaseStandardError();
  for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g.previous[i], nullptr);
  std::setlocale(LC_CTYPE, g.locale.c_str());
}

// --- Drawing ------------------------------------------------------------------

void Place(Window *window) {
  int rows, cols;
  getmaxyx(stdscr, rows, cols);
  // Every window is centred: on a terminal there is no desktop to place
  // windows on.
  window->row = std::max(0, (rows - FrameHeight(window)) / 2);
  window->col = std::max(0, (cols - FrameWidth(window)) / 2);
}

// Draws what changed and writes the screen. Lock held.
void FlushLocked() {
  if (!g.active) return;
  bool full = g.fullRedraw || g.boxUp;
  if (full) werase(stdscr);
  for (Window *window : g.shown) DrawWindow(window, full);
  int row = 0, col = 0;
  bool cursor = false;
  if (g.boxUp) {
    DrawMessageBox(g.boxText, g.boxCaption, &row, &col);
  } else if (g.inputWindow) {
    cursor = CursorFor(g.inputWindow, &row, &col);
  }
  if (cursor != g.cursorOn) {
    curs_set(cursor ? 1 : 0);
    g.cursorOn = cursor;
  }
  wmove(stdscr, row, col);
  wrefresh(stdscr);
  g.fullRedraw = false;
  g.pending = false;
  g.lastFlush = Clock::now();
}

// Writes the screen now, or soon when it was written a moment ago. Lock held.
void RequestFlush(bool now) {
  if (now || Clock::now() - g.lastFlush >= kFlushInterval) {
    FlushLocked();
  } else if (!g.pending) {
    g.pending = true;
    g.wake.notify_one();
  }
}

Window *TopLevel(Window *window) {
  while (window && window->parent) window = window->parent;
  return window;
}

bool IsShown(Window *window) {
  return std::find(g.shown.begin(), g.shown.end(), window) != g.shown.end();
}

// --- Input --------------------------------------------------------------------

// Reads the next key if one comes within the escape delay; false if none.
bool KeyWithinEscapeDelay(wint_t *ch, int *kind) {
  wtimeout(stdscr, get_escdelay());
  *kind = wget_wch(stdscr, ch);
  wtimeout(stdscr, -1);
  return *kind != ERR;
}

// After an ESC from the terminal: true when it began a key sequence, which
// is then read to its end and dropped; false for a lone Esc. As curses tells
// them apart, whatever follows the ESC within the escape delay belongs to
// it. A terminal sends Alt+key as ESC and the key (no control of the
// dialogs has a mnemonic, so Alt+key does nothing), and a function or
// cursor key curses does not know as ESC [ or ESC O and its parameters.
// Lock held.
bool EscapeStartsASequence() {
  wint_t ch = 0;
  int kind = 0;
  if (!KeyWithinEscapeDelay(&ch, &kind)) return false;
  if (kind == KEY_CODE_YES) return true;  // Alt with a key curses knows
  if (ch == 27) {
    // ESC ESC: Alt+Esc, or Alt with an escape sequence (ESC ESC [ A).
    if (!KeyWithinEscapeDelay(&ch, &kind) || kind == KEY_CODE_YES) return true;
  }
  if (ch == L'[') {
    // A control sequence: parameters and intermediates up to a final byte.
    while (KeyWithinEscapeDelay(&ch, &kind) && kind != KEY_CODE_YES && (ch < 0x40 || ch > 0x7E)) {
    }
  } else if (ch == L'O') {
    KeyWithinEscapeDelay(&ch, &kind);  // SS3 and one character
  }
  return true;
}

// One event from the terminal's keyboard. Lock held (curses reads it).
// Key::None when the terminal is gone (end of input or hang-up).
InputEvent ReadTerminalKey() {
  for (int errors = 0; errors < 100;) {
    wint_t ch = 0;
    int kind = wget_wch(stdscr, &ch);
    InputEvent event;
    if (kind == ERR) {
      // Interrupted, or no terminal any more.
      struct pollfd in = {0, POLLIN, 0};
      if (::poll(&in, 1, 0) > 0 && (in.revents & (POLLHUP | POLLERR | POLLNVAL))) return event;
      ++errors;
      continue;
    }
    errors = 0;
    if (kind == KEY_CODE_YES) {
      switch (ch) {
        case KEY_BTAB:
          event.key = Key::ShiftTab;
          break;
        case KEY_UP:
          event.key = Key::Up;
          break;
        case KEY_DOWN:
          event.key = Key::Down;
          break;
        case KEY_LEFT:
          event.key = Key::Left;
          break;
        case KEY_RIGHT:
          event.key = Key::Right;
          break;
        case KEY_HOME:
          event.key = Key::Home;
          break;
        case KEY_END:
          event.key = Key::End;
          break;
        case KEY_BACKSPACE:
          event.key = Key::Backspace;
          break;
        case KEY_DC:
          event.key = Key::Delete;
          break;
        case KEY_ENTER:
          event.key = Key::Enter;
          break;
        case KEY_RESIZE:
          event.key = Key::Resize;
          break;
        default:
          continue;
      }
      return event;
    }
    switch (ch) {
      case L'\t':
        event.key = Key::Tab;
        break;
      case L'\r':
      case L'\n':
        event.key = Key::Enter;
        break;
      case 27:
        if (EscapeStartsASequence()) continue;
        event.key = Key::Esc;
        break;
      case L' ':
        event.key = Key::Space;
        break;
      case 8:
      case 127:
        event.key = Key::Backspace;
        break;
      default:
        if (ch < 0x20) continue;
        event.key = Key::Char;
        event.ch = static_cast<wchar_t>(ch);
        break;
    }
    return event;
  }
  return InputEvent{};
}

InputEvent KeyEvent(int key) {
  InputEvent event;
  switch (key) {
    case PLATFORM_KEY_TAB:
      event.key = Key::Tab;
      break;
    case PLATFORM_KEY_SHIFT_TAB:
      event.key = Key::ShiftTab;
      break;
    case PLATFORM_KEY_SPACE:
      event.key = Key::Space;
      break;
    case PLATFORM_KEY_ENTER:
      event.key = Key::Enter;
      break;
    case PLATFORM_KEY_ESC:
      event.key = Key::Esc;
      break;
    case PLATFORM_KEY_UP:
      event.key = Key::Up;
      break;
    case PLATFORM_KEY_DOWN:
      event.key = Key::Down;
      break;
    case PLATFORM_KEY_LEFT:
      event.key = Key::Left;
      break;
    case PLATFORM_KEY_RIGHT:
      event.key = Key::Right;
      break;
    case PLATFORM_KEY_HOME:
      event.key = Key::Home;
      break;
    case PLATFORM_KEY_END:
      event.key = Key::End;
      break;
    case PLATFORM_KEY_BACKSPACE:
      event.key = Key::Backspace;
      break;
    case PLATFORM_KEY_DELETE:
      event.key = Key::Delete;
      break;
    default:
      break;
  }
  return event;
}

// Redraws everything after the terminal changed size. Lock held.
void Resized() {
  for (Window *window : g.shown) Place(window);
  g.fullRedraw = true;
  FlushLocked();
}

// Waits for a key on the terminal that closes a message box or releases a
// held window: Enter, Space or Esc (`any`: every key).
void WaitForKey(bool any) {
  std::lock_guard<std::mutex> hold(g.lock);
  for (;;) {
    InputEvent event = ReadTerminalKey();
    if (event.key == Key::None) return;
    if (event.key == Key::Resize) {
      Resized();
      continue;
    }
    if (any || event.key == Key::Enter || event.key == Key::Space || event.key == Key::Esc) return;
  }
}

}  // namespace

// --- What the window manager calls -----------------------------------------------------

void MarkDirty(Window *window) { window->dirty = true; }

void Repaint(Window *window) {
  if (!g.active) return;
  window = TopLevel(window);
  std::lock_guard<std::mutex> hold(g.lock);
  if (!IsShown(window)) return;
  CaptureLook(window, false);
  RequestFlush(false);
}

void Shown(Window *window) {
  if (window->visible) {
    if (!StartTerminal()) return;
    std::lock_guard<std::mutex> hold(g.lock);
    if (!IsShown(window)) g.shown.push_back(window);
    Place(window);
    CaptureLook(window, true);
    RequestFlush(true);
    return;
  }
  if (!g.active) return;
  bool last;
  {
    std::lock_guard<std::mutex> hold(g.lock);
    g.shown.erase(std::remove(g.shown.begin(), g.shown.end(), window), g.shown.end());
    g.fullRedraw = true;
    last = g.shown.empty() && !g.boxUp;
    if (!last) RequestFlush(true);
  }
  if (last) StopTerminal();
}

void Forget(Window *window) {
  if (!g.active || !IsShown(window)) return;
  if (g.holdForKey) {
    {
      std::lock_guard<std::mutex> hold(g.lock);
      CaptureLook(window, false);
      FlushLocked();
    }
    WaitForKey(true);
  }
  window->visible = false;
  Shown(window);
}

InputSource OpenInput() {
  if (g.scripted) return InputSource::Script;
  return StartTerminal() ? InputSource::Terminal : InputSource::None;
}

Window *SetInputWindow(Window *window) {
  Window *before = g.inputWindow;
  g.inputWindow = window;
  return before;
}

bool NextInput(InputSource source, Window *window, InputEvent *event) {
  if (source != InputSource::Terminal) {
    if (g.script.empty()) return false;
    *event = g.script.front();
    g.script.pop_front();
    return true;
  }
  for (;;) {
    // (The terminal goes back when the last window is hidden, so a window
    // hidden by its own procedure leaves it to be taken again.)
    if (!g.active && !StartTerminal()) return false;  // gone, and cannot be taken again
    {
      std::lock_guard<std::mutex> hold(g.lock);
      if (IsShown(window)) CaptureLook(window, false);
      FlushLocked();
      *event = ReadTerminalKey();
    }
    if (event->key == Key::None) return false;  // the terminal is gone
    if (event->key != Key::Resize) return true;
    std::lock_guard<std::mutex> hold(g.lock);
    Resized();
  }
}

void ReleaseIfIdle() {
  if (g.active && g.shown.empty() && !g.boxUp) StopTerminal();
}

int ShowMessageBox(const std::wstring &text, const std::wstring &caption) {
  // The text always goes to standard error too; while the terminal is
  // taken that is held and written out when it is given back, so the text
  // stays readable after the screen is restored.
  std::fprintf(stderr, "tovik: %s\n", WideToHostName(text).c_str());
  if (g.scripted || !StartTerminal()) return IDOK;
  {
    std::lock_guard<std::mutex> hold(g.lock);
    g.boxUp = true;
    g.boxText = text;
    g.boxCaption = caption;
    FlushLocked();
  }
  WaitForKey(false);
  bool last;
  {
    std::lock_guard<std::mutex> hold(g.lock);
    g.boxUp = false;
    g.fullRedraw = true;
    last = g.shown.empty();
    if (!last) FlushLocked();
  }
  if (last) StopTerminal();
  return IDOK;
}

}  // namespace host

// --- Test hooks (platform_testing.h) -------------------------------------------------

void PlatformScriptDialogInput(const PlatformInputEvent *events, int count) {
  using host::g;
  using host::InputEvent;
  using host::Key;
  g.scripted = true;
  for (int i = 0; events && i < count; ++i) {
    const PlatformInputEvent &e = events[i];
    if (e.kind == PLATFORM_INPUT_KEY) {
      g.script.push_back(host::KeyEvent(e.value));
    } else if (e.kind == PLATFORM_INPUT_PRESS) {
      InputEvent event;
      event.key = Key::Press;
      event.id = e.value;
      g.script.push_back(event);
    } else if (e.kind == PLATFORM_INPUT_TEXT && e.text) {
      for (const wchar_t *c = e.text; *c; ++c) {
        InputEvent event;
        event.key = *c == L' ' ? Key::Space : Key::Char;
        event.ch = *c;
        g.script.push_back(event);
      }
    }
  }
}

void PlatformEndDialogScript(void) {
  host::g.scripted = false;
  host::g.script.clear();
}

void PlatformUseTerminal(int allowed) { host::g.allowed = allowed != 0; }

void PlatformHoldWindowsForKey(int on) { host::g.holdForKey = on != 0; }

unsigned PlatformRepaintCount(void *window) {
  host::Window *w = host::WindowFrom(static_cast<HWND>(window));
  return w ? w->repaints : 0;
}
