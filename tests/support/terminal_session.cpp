// terminal_session.cpp - a terminal for tests (see terminal_session.h).
#include "terminal_session.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "test_device.h"

namespace testing_device {

// Runs a program with arguments (no shell); returns its exit status and,
// when asked, what it wrote on standard output.
int RunProgram(const std::vector<std::string> &args, std::string *out) {
  // Output is read only when asked for: a tmux server started by the
  // command would otherwise hold the pipe open for ever.
  int pipeFds[2] = {-1, -1};
  if (out && ::pipe(pipeFds) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(out ? pipeFds[1] : null, 1);
    ::dup2(null, 0);
    ::dup2(null, 2);
    if (out) ::close(pipeFds[0]);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  if (out) {
    ::close(pipeFds[1]);
    out->clear();
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
      out->append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTmux() { return RunProgram({"tmux", "-V"}) == 0; }

std::string Quote(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Tmux::Tmux(const std::string &command) {
  static int counter = 0;
  socket_ = "tovik-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  started_ = Run({"new-session", "-d", "-x", "100", "-y", "40", "-s", "t", command}) == 0;
}

Tmux::~Tmux() { Run({"kill-server"}); }

std::string Tmux::Screen() {
  std::string out;
  Run({"capture-pane", "-p", "-t", "t"}, &out);
  return out;
}

void Tmux::Keys(const std::vector<std::string> &keys) {
  std::vector<std::string> args = {"send-keys", "-t", "t"};
  args.insert(args.end(), keys.begin(), keys.end());
  Run(args);
}

void Tmux::Type(const std::string &text) { Run({"send-keys", "-t", "t", "-l", text}); }

bool Tmux::WaitForScreen(const std::vector<std::string> &texts, std::string *last) {
  return Poll([&] {
    *last = Screen();
    for (const std::string &t : texts)
      if (last->find(t) == std::string::npos) return false;
    return true;
  });
}

bool Tmux::Poll(const std::function<bool()> &done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

int Tmux::Run(std::vector<std::string> args, std::string *out) {
  args.insert(args.begin(), {"tmux", "-L", socket_, "-f", "/dev/null"});
  return RunProgram(args, out);
}

std::string WaitForFile(const std::string &path) {
  std::string text;
  Tmux::Poll([&] {
    text = ReadHostFile(path);
    return !text.empty() && text.back() == '\n';
  });
  return text;
}

}  // namespace testing_device
