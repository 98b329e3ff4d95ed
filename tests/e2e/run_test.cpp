// Runs of the built program on device folders: the snapshot's name, its
// bytes, and the failures a user sees.
#include <gtest/gtest.h>

#include <regex>

#include "test_device.h"
#include "tovik_version.h"

using testing_device::RunTovik;
using testing_device::TestDevice;

namespace {

// The .tvk files in the device root.
std::vector<std::string> Snapshots(const TestDevice &device) {
  std::vector<std::string> names;
  for (const std::string &name : device.list("root"))
    if (name.size() > 4 && name.substr(name.size() - 4) == ".tvk") names.push_back(name);
  return names;
}

TEST(Run, DefaultRunNamesTheSnapshotAfterTheLocalTime) {
  TestDevice device;
  device.writeSettings("Setup 0\r\n");
  testing_device::RunResult run = RunTovik(device.folder(), {});
  EXPECT_EQ(0, run.exitCode) << run.err;
  std::vector<std::string> names = Snapshots(device);
  ASSERT_EQ(1u, names.size());
  EXPECT_TRUE(
      std::regex_match(names[0], std::regex(R"([0-3]\d[01]\d\d\d[0-2]\d[0-5]\d[0-5]\d\.tvk)")))
      << names[0];
  std::string bytes = device.read("root/" + names[0]);
  // Every line ends CR LF; no bare line feed.
  EXPECT_EQ(std::string::npos, std::regex_replace(bytes, std::regex("\r\n"), "").find('\n'));
  EXPECT_NE(std::string::npos, bytes.find("\r\n[Databases]\r\n"));
}

TEST(Run, CommandLineIsTheSnapshotPathAsGiven) {
  TestDevice device;
  device.writeSettings("Setup 0\r\n");
  device.mkdir("root/Temp");
  testing_device::RunResult run = RunTovik(device.folder(), {"\\temp\\a.txt"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  // The existing folder is found without regard to case; no ".tvk" is added.
  EXPECT_EQ(std::vector<std::string>({"a.txt"}), device.list("root/Temp"));
  EXPECT_TRUE(Snapshots(device).empty());
}

TEST(Run, MissingFolderIsAFileCreatingError) {
  TestDevice device;
  device.writeSettings("Setup 0\r\n");
  testing_device::RunResult run = RunTovik(device.folder(), {"\\Nowhere\\a.tvk"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("File creating error")) << run.err;
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

TEST(Run, OverlongPathIsRefusedNotCut) {
  TestDevice device;
  device.writeSettings("Setup 0\r\n");
  std::string path = "\\" + std::string(259, 'p');
  testing_device::RunResult run = RunTovik(device.folder(), {path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("File creating error"));
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

TEST(Run, HelpAndVersionAreAnsweredByTheStartUp) {
  TestDevice device;
  testing_device::RunResult help = RunTovik(device.folder(), {"--help"});
  EXPECT_EQ(0, help.exitCode);
  EXPECT_NE(std::string::npos, help.out.find("TOVIK_DEVICE"));
  testing_device::RunResult version = RunTovik(device.folder(), {"--version"});
  EXPECT_EQ("tovik version " TOVIK_VERSION "\n", version.out);
  EXPECT_TRUE(device.list("root").empty());  // not even the documents folder
}

TEST(Run, DeviceFolderThatDoesNotExistIsReported) {
  testing_device::RunResult run = RunTovik("/nonexistent/tovik-device", {});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("not a folder"));
}

}  // namespace
