// Runs of the built program steered by the settings file: the file written
// on first use, the flags, the default path, and a run without a terminal
// that would need the configuration dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_device.h"

using testing_device::RunResult;
using testing_device::RunTovik;
using testing_device::TestDevice;

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
  // One line says why: the dialog needs a terminal.
  EXPECT_NE(std::string::npos, run.err.find("terminal")) << run.err;
  EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;

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

}  // namespace
