// terminal_session.h - a terminal for tests: a detached tmux session that
// runs one shell command, whose screen the test reads and types into.
#ifndef TOVIK_TERMINAL_SESSION_H
#define TOVIK_TERMINAL_SESSION_H

#include <functional>
#include <string>
#include <vector>

namespace testing_device {

// Runs a program with arguments (no shell, standard input and error on
// /dev/null); returns its exit status and, when asked, its standard output.
int RunProgram(const std::vector<std::string> &args, std::string *out = nullptr);

// True when tmux can be run.
bool HaveTmux();

// Quotes text for the shell.
std::string Quote(const std::string &text);

// A detached tmux session of 100 x 40 on a server of its own, running one
// shell command; killed with its server when the object goes.
class Tmux {
 public:
  explicit Tmux(const std::string &command);
  ~Tmux();
  Tmux(const Tmux &) = delete;
  Tmux &operator=(const Tmux &) = delete;

  bool started() const { return started_; }
  // The screen as text, one line per row.
  std::string Screen();
  // Keys by tmux's names ("Enter", "Tab", "BTab", "Space", "Escape", "Down",
  // "C-c", ...), and literal text.
  void Keys(const std::vector<std::string> &keys);
  void Type(const std::string &text);
  // Polls the screen until every text is on it (at most 30 seconds); *last
  // gets the last screen read.
  bool WaitForScreen(const std::vector<std::string> &texts, std::string *last);
  // Polls until done() (at most 30 seconds).
  static bool Poll(const std::function<bool()> &done);

 private:
  int Run(std::vector<std::string> args, std::string *out = nullptr);
  std::string socket_;
  bool started_ = false;
};

// Waits (at most 30 seconds) for a file to hold a complete last line and
// returns its contents ("" when it never did).
std::string WaitForFile(const std::string &path);

}  // namespace testing_device

#endif  // TOVIK_TERMINAL_SESSION_H
