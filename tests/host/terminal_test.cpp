// Windows drawn on a real terminal: tmux runs the built program, or this
// test program in a child mode, in a detached session; the test reads the
// screen with capture-pane and types with send-keys.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "platform.h"
#include "platform_testing.h"
#include "resource.h"
#include "terminal_session.h"
#include "test_device.h"
#include "tovik_version.h"

namespace {

using testing_device::HaveTmux;
using testing_device::Quote;
using testing_device::ReadHostFile;
using testing_device::TestDevice;
using testing_device::Tmux;
using testing_device::WaitForFile;

// ---------------------------------------------------------------------------
// Child mode: these run only inside the terminal a parent test started.
// ---------------------------------------------------------------------------

bool ChildMode() { return std::getenv("TOVIK_TERMINAL_CHILD") != nullptr; }

void WriteResult(const std::string &text) {
  std::ofstream(std::getenv("TOVIK_TERMINAL_RESULT"), std::ios::binary) << text;
}

// A whole run of the program, its windows held on the screen until a key.
TEST(TerminalChild, ProgressRun) {
  if (!ChildMode()) GTEST_SKIP() << "runs inside the terminal TerminalDrawing starts";
  PlatformHoldWindowsForKey(1);
  std::wstring commandLine = L"\\snap.tvk";
  int code = WinMain(GetModuleHandleW(nullptr), nullptr, &commandLine[0], SW_SHOW);
  WriteResult("exit=" + std::to_string(code) + "\n");
}

// A burst of repaints, as a fast walk makes them, then none while the
// program is busy: the screen must come to show the last item anyway.
TEST(TerminalChild, RepaintBurst) {
  if (!ChildMode()) GTEST_SKIP() << "runs inside the terminal TerminalDrawing starts";
  HWND progress = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
  ShowWindow(progress, SW_SHOW);
  for (int i = 0; i < 5000; ++i) {
    SetDlgItemTextW(progress, IDC_ITEM, (L"\\dir" + std::to_wstring(i)).c_str());
    UpdateWindow(progress);
  }
  SetDlgItemTextW(progress, IDC_ITEM, L"\\last\\directory");
  UpdateWindow(progress);
  char key;
  ssize_t n = ::read(0, &key, 1);  // busy: no repaint until the parent types
  DestroyWindow(progress);
  WriteResult("read=" + std::to_string(n) + "\n");
}

struct ChildDialog {
  std::wstring path;
  int setup = -1;
};
ChildDialog g_child;

INT_PTR CALLBACK ChildProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageW(dialog, IDC_REGISTRY, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageW(dialog, IDC_SETUP, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(L".TVK"));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  int id = LOWORD(wParam);
  if (id == IDOK || id == IDCANCEL || id == IDC_SAVE) {
    WCHAR text[256];
    GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, text, 256);
    g_child.path = text;
    g_child.setup = static_cast<int>(SendDlgItemMessageW(dialog, IDC_SETUP, BM_GETCHECK, 0, 0));
    EndDialog(dialog, id);
    return TRUE;
  }
  return FALSE;
}

TEST(TerminalChild, ConfigDialog) {
  if (!ChildMode()) GTEST_SKIP() << "runs inside the terminal TerminalDrawing starts";
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                           LoadDialogTemplate(IDD_CONFIG), nullptr, ChildProc, 0);
  std::string path;
  for (wchar_t c : g_child.path) path += static_cast<char>(c);
  WriteResult("result=" + std::to_string(result) + " path=" + path +
              " setup=" + std::to_string(g_child.setup) + "\n");
}

// ---------------------------------------------------------------------------
// The parent side.
// ---------------------------------------------------------------------------

// The shell command tmux runs: the program in the device, its exit status
// written to a file when it ends.
std::string Command(const TestDevice &device, const std::string &program, const std::string &args,
                    const std::string &statusFile, const std::string &extraEnv = "") {
  // The shell's own trap (not an ignore, which the program would inherit)
  // keeps it alive to write the status when Ctrl-C ends the program.
  return "trap true INT; env TERM=screen LANG=C.UTF-8 TOVIK_DEVICE=" + Quote(device.folder()) +
         " " + extraEnv + " " + Quote(program) + " " + args + "; echo $? > " + Quote(statusFile) +
         "; exec cat";
}

// This test program's own path, to run it again in child mode.
std::string SelfPath() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

class TerminalDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChildMode()) GTEST_SKIP() << "not inside a child";
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed";
    status_ = device_.folder() + "/status";
    result_ = device_.folder() + "/result";
  }
  std::string ChildCommand(const std::string &test) {
    return Command(device_, SelfPath(), "--gtest_filter=TerminalChild." + test, status_,
                   "TOVIK_TERMINAL_CHILD=1 TOVIK_TERMINAL_RESULT=" + Quote(result_));
  }
  TestDevice device_;
  std::string status_, result_;
};

// The built program's message box: drawn with its OK button, closed with
// Enter, and its text left on standard error once the screen is restored.
TEST_F(TerminalDrawing, MessageBoxOfTheProgram) {
  device_.writeSettings("Setup 0\r\n");  // straight to the run, no dialog
  Tmux tmux(Command(device_, TOVIK_BINARY, "'\\Missing\\x.tvk'", status_));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"File creating error", "[ OK ]"}, &screen)) << screen;
  EXPECT_EQ(std::string::npos, screen.find("tovik: File creating error")) << screen;
  tmux.Keys({"Enter"});
  EXPECT_EQ("1\n", WaitForFile(status_));
  ASSERT_TRUE(tmux.WaitForScreen({"tovik: File creating error"}, &screen)) << screen;
  EXPECT_EQ(std::string::npos, screen.find("[ OK ]")) << screen;
}

// A whole run: the progress window with its texts, showing the last
// section when the run ends, however fast the repaints came.
TEST_F(TerminalDrawing, ProgressWindowOfARun) {
  device_.writeSettings("Setup 0\r\n");  // straight to the run, no dialog
  device_.mkdir("root/Windows");
  Tmux tmux(ChildCommand("ProgressRun"));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"Saving system state...", "Output:", "\\snap.tvk",
                                  "tovik version " TOVIK_VERSION, "Databases"},
                                 &screen))
      << screen;
  tmux.Keys({"Enter"});
  EXPECT_EQ("0\n", WaitForFile(status_)) << tmux.Screen();
  EXPECT_EQ("exit=0\n", ReadHostFile(result_));
  EXPECT_TRUE(std::ifstream(device_.host("snap.tvk")).good());
}

TEST_F(TerminalDrawing, LastRepaintOfABurstReachesTheScreen) {
  Tmux tmux(ChildCommand("RepaintBurst"));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"Saving system state...", "\\last\\directory"}, &screen))
      << screen;
  tmux.Keys({"Enter"});
  EXPECT_EQ("0\n", WaitForFile(status_)) << tmux.Screen();
  EXPECT_EQ("read=1\n", ReadHostFile(result_));
}

// The configuration dialog driven by keys: Shift-Tab wraps to the last
// check box, Space unticks it, Tab reaches the default path edit, typing
// fills it (scrolling when it outgrows the field), Enter presses the default
// button. Alt+key and a cursor key curses does not know come as ESC and
// more: they neither cancel nor type.
TEST_F(TerminalDrawing, ConfigurationDialogByKeys) {
  Tmux tmux(ChildCommand("ConfigDialog"));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen(
      {"tovik configuration", "Save and run", "Cancel", "[x] Save registry state", "[ ] CRC32",
       "[x] Show this dialog later", ".TVK", "Default path:"},
      &screen))
      << screen;
  tmux.Keys({"BTab", "Space"});
  ASSERT_TRUE(tmux.WaitForScreen({"[ ] Show this dialog later"}, &screen)) << screen;
  for (int i = 0; i < 9; ++i) tmux.Keys({"Tab"});
  tmux.Keys({"M-s", "M-Up"});
  tmux.Type("\\Storage Card\\");
  ASSERT_TRUE(tmux.WaitForScreen({"[\\Storage Card\\"}, &screen)) << screen;
  // Longer than the field: the text scrolls to keep the caret in view.
  tmux.Type("Snapshots\\daily\\");
  ASSERT_TRUE(tmux.WaitForScreen({"Snapshots\\daily\\"}, &screen)) << screen;
  EXPECT_EQ(std::string::npos, screen.find("[\\Storage")) << screen;
  tmux.Keys({"Enter"});
  EXPECT_EQ("0\n", WaitForFile(status_)) << tmux.Screen();
  EXPECT_EQ("result=1 path=\\Storage Card\\Snapshots\\daily\\ setup=0\n", ReadHostFile(result_));
}

// Ctrl-C in a dialog ends the program as usual, and the terminal is given
// back first: the screen from before the dialog is there again and the
// keyboard echoes.
TEST_F(TerminalDrawing, InterruptGivesTheTerminalBack) {
  Tmux tmux(ChildCommand("ConfigDialog"));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"tovik configuration"}, &screen)) << screen;
  tmux.Keys({"C-c"});
  EXPECT_EQ("130\n", WaitForFile(status_)) << tmux.Screen();
  tmux.Type("echoed");  // read by the cat that follows, echoed by the terminal
  ASSERT_TRUE(tmux.WaitForScreen({"TerminalChild.ConfigDialog", "echoed"}, &screen)) << screen;
  EXPECT_EQ(std::string::npos, screen.find("tovik configuration")) << screen;
}

}  // namespace
