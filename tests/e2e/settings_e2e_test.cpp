// Runs of the built program steered by the settings file: the file written
// on first use, the flags, the default path, and a run without a terminal
// that would need the configuration dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "terminal_session.h"
#include "test_device.h"

using testing_device::RunResult;
using testing_device::RunTovik;
using testing_device::TestDevice;
using testing_device::Tmux;

namespace {

const char kDefaults[] =
    "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 1\r\n"
    "Exclude .TVK\r\nDefault_path \r\n";

std::vector<std::string> Snapshots(const TestDevice &device, const std::string &folder) {
  std::vector<std::string> names;
  for (const std::string &name : device.list(folder))
    if (name.size() > 4 && name.substr(name.size() - 4) == ".tvk") names.push_back(name);
  return names;
}

TEST(SettingsRun, FirstRunWritesDefaultsAndWithoutATerminalTakesNoSnapshot) {
  TestDevice device;
  RunResult run = RunTovik(device.folder(), {});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ(kDefaults, device.read("root/My Documents/tovik.cfg"));
  EXPECT_TRUE(Snapshots(device, "root").empty());
  // One line says why, and how to run without the dialog.
  EXPECT_EQ(
      "tovik: the configuration dialog needs a terminal; with Setup 0 in "
      "\\My Documents\\tovik.cfg tovik runs without it\n",
      run.err);

  // The same holds for a command line: the dialog comes first.
  run = RunTovik(device.folder(), {"\\a.txt"});
  EXPECT_EQ(0, run.exitCode);
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

TEST(SettingsRun, SetupZeroRunsAtOnceAndLeavesTheFileAlone) {
  TestDevice device;
  const std::string text = "setup 0\n";  // hand-written: lower case, bare line feed
  device.writeSettings(text);
  RunResult run = RunTovik(device.folder(), {});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("", run.err);
  std::vector<std::string> names = Snapshots(device, "root");
  ASSERT_EQ(1u, names.size());
  EXPECT_NE(std::string::npos, device.read("root/" + names[0]).find("[Databases]"));
  EXPECT_EQ(text, device.read("root/My Documents/tovik.cfg"));
}

TEST(SettingsRun, AllSectionsOffGiveAnEmptySnapshot) {
  TestDevice device;
  device.writeSettings("Registry 0\r\nFiles 0\r\nDatabases 0\r\nSetup 0\r\n");
  RunResult run = RunTovik(device.folder(), {"\\empty.txt"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  std::vector<std::string> root = device.list("root");
  ASSERT_NE(root.end(), std::find(root.begin(), root.end(), "empty.txt"));
  EXPECT_EQ("", device.read("root/empty.txt"));
}

TEST(SettingsRun, DefaultPathSteersTheSnapshotName) {
  TestDevice device;
  device.mkdir("root/Snaps");
  device.writeSettings("Setup 0\r\nDefault_path \\snaps\\before-\r\n");
  RunResult run = RunTovik(device.folder(), {});
  EXPECT_EQ(0, run.exitCode) << run.err;
  std::vector<std::string> names = Snapshots(device, "root/Snaps");
  ASSERT_EQ(1u, names.size());
  // Read back upper-cased; the generated name follows without a separator.
  EXPECT_EQ(0u, names[0].find("BEFORE-")) << names[0];
  EXPECT_EQ(7u + 12u + 4u, names[0].size()) << names[0];
}

TEST(SettingsRun, DefaultPathToAMissingFolderIsAFileCreatingError) {
  TestDevice device;
  device.writeSettings("Setup 0\r\nDefault_path \\Storage Card\\\r\n");
  RunResult run = RunTovik(device.folder(), {});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("File creating error")) << run.err;
}

// ---------------------------------------------------------------------------
// The configuration dialog in a real terminal: the built program runs in a
// detached tmux session, keys are sent to it and its screen is read.
// ---------------------------------------------------------------------------

// The shell command for tmux: tovik on the device, its exit status written
// to `status` when it ends.
std::string InTerminal(const TestDevice &device, const std::string &status) {
  using testing_device::Quote;
  return "env TERM=screen LANG=C.UTF-8 TOVIK_DEVICE=" + Quote(device.folder()) + " " +
         Quote(TOVIK_BINARY) + "; echo $? > " + Quote(status) + "; exec cat";
}

TEST(SettingsTerminal, DialogFromFirstStartToSnapshot) {
  if (!testing_device::HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  TestDevice device;
  device.mkdir("root/Snaps");
  device.write("root/Temp/install.log", "log");
  const std::string status = device.folder() + "/status";
  Tmux tmux(InTerminal(device, status));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"tovik configuration", "[x] CRC32", ".TVK"}, &screen)) << screen;
  // The settings file is there before the dialog.
  EXPECT_EQ(kDefaults, device.read("root/My Documents/tovik.cfg"));

  // WM_INITDIALOG answers TRUE, so the focus starts on the first control,
  // "Save and run"; seven Tabs reach the CRC32 box.
  tmux.Keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Space"});
  ASSERT_TRUE(tmux.WaitForScreen({"[ ] CRC32"}, &screen)) << screen;
  tmux.Keys({"Tab"});
  tmux.Type("\\Snaps\\");
  tmux.Keys({"Tab"});
  tmux.Type("\\temp");
  tmux.Keys({"Tab", "Enter"});  // "add exclude string"
  ASSERT_TRUE(tmux.WaitForScreen({"\\temp", "[\\Snaps\\"}, &screen)) << screen;
  tmux.Keys({"BTab"});
  tmux.Type("junk");
  tmux.Keys({"Tab", "Enter"});
  ASSERT_TRUE(tmux.WaitForScreen({"junk"}, &screen)) << screen;
  // After the refill the first End selects the list's keyboard item (the
  // first), the second the last pattern; "delete" removes it.
  tmux.Keys({"Tab", "End", "End", "Tab", "Enter"});
  ASSERT_TRUE(tmux.Poll([&] { return tmux.Screen().find("junk") == std::string::npos; }))
      << tmux.Screen();
  tmux.Keys({"Tab", "Space"});  // untick "Show this dialog later"
  ASSERT_TRUE(tmux.WaitForScreen({"[ ] Show this dialog later"}, &screen)) << screen;
  tmux.Keys({"Tab", "Enter"});  // "Save and run"
  EXPECT_EQ("0\n", testing_device::WaitForFile(status)) << tmux.Screen();

  EXPECT_EQ(
      "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 0\r\nDatabases 1\r\nSetup 0\r\n"
      "Exclude .TVK\r\nExclude \\temp\r\nDefault_path \\Snaps\\\r\n",
      device.read("root/My Documents/tovik.cfg"));
  std::vector<std::string> names = Snapshots(device, "root/Snaps");
  ASSERT_EQ(1u, names.size());
  std::string snapshot = device.read("root/Snaps/" + names[0]);
  // The new pattern already steers this run; the CRC column is gone.
  EXPECT_NE(std::string::npos, snapshot.find("[\\My Documents]")) << snapshot;
  EXPECT_EQ(std::string::npos, snapshot.find("[\\Temp]")) << snapshot;
  EXPECT_NE(std::string::npos, snapshot.find(" tovik.cfg\r\n")) << snapshot;
  EXPECT_EQ(std::string::npos, snapshot.find("00000000 ")) << snapshot;

  // The next start runs at once, without the dialog and without a terminal.
  RunResult again = RunTovik(device.folder(), {"\\Snaps\\again.tvk"});
  EXPECT_EQ(0, again.exitCode) << again.err;
  EXPECT_EQ(2u, Snapshots(device, "root/Snaps").size());
}

TEST(SettingsTerminal, EscapeSavesNothingAndTakesNoSnapshot) {
  if (!testing_device::HaveTmux()) GTEST_SKIP() << "tmux is not installed";
  TestDevice device;
  device.writeSettings("Exclude .TVK\r\n");  // hand-written, Setup left on
  const std::string status = device.folder() + "/status";
  Tmux tmux(InTerminal(device, status));
  ASSERT_TRUE(tmux.started());
  std::string screen;
  ASSERT_TRUE(tmux.WaitForScreen({"tovik configuration"}, &screen)) << screen;
  tmux.Keys({"Tab", "Space", "Escape"});
  EXPECT_EQ("0\n", testing_device::WaitForFile(status)) << tmux.Screen();
  EXPECT_EQ("Exclude .TVK\r\n", device.read("root/My Documents/tovik.cfg"));
  EXPECT_TRUE(Snapshots(device, "root").empty());
}

}  // namespace
