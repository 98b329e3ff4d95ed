// The file system section of whole runs of the built program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "file_times.h"
#include "test_device.h"

using testing_device::RunTovik;
using testing_device::TestDevice;

namespace {

// The file system section of a snapshot: from the root's header "[]" to the
// databases header, CR LF line ends kept.
std::string FileSection(const std::string &snapshot) {
  size_t start = snapshot.find("[]\r\n");
  size_t end = snapshot.find("\r\n[Databases]\r\n");
  if (start == std::string::npos || end == std::string::npos || end < start) return "";
  return snapshot.substr(start, end - start);
}

// Header -> the block's lines in the order written (CR LF kept).
std::map<std::string, std::string> Blocks(const std::string &section,
                                          std::vector<std::string> *order) {
  std::map<std::string, std::string> blocks;
  std::string header;
  for (size_t at = 0; at < section.size();) {
    size_t end = section.find("\r\n", at);
    std::string line = section.substr(at, end + 2 - at);
    if (line[0] == '[') {
      header = line.substr(0, line.size() - 2);
      order->push_back(header);
      blocks[header];
    } else {
      blocks[header] += line;
    }
    at = end + 2;
  }
  return blocks;
}

std::string Line(const TestDevice &device, const std::string &relative, const char *marker,
                 const std::string &size, const std::string &crc, const std::string &name) {
  return testing_device::ListingDateTime(device.host(relative)) + marker +
         std::string(10 - size.size(), ' ') + size + " " + crc + " " + name + "\r\n";
}

TEST(FilesRun, SectionListsTheWholeDeviceDepthFirst) {
  TestDevice device;
  device.write("root/Windows/coredll.dll", "abc");
  device.write("root/Windows/Fonts/tahoma.ttf", "123456789");
  device.write("rom.txt",
               "\\Windows\\coredll.dll\tINROM ROMMODULE\n\\Windows\\Fonts\\tahoma.ttf\n");
  device.write("root/Data/\xD0\xB6.txt", "abc");  // a name outside the code page
  device.mkdir("root/Data/Empty");
  ASSERT_EQ(0, ::mkfifo(device.host("Data/pipe").c_str(), 0644));
  ASSERT_EQ(0, ::symlink("..", device.host("Data/Empty/up").c_str()));
  device.mkdir("root/Snapshots");
  device.writeSettings("Setup 0\r\n");  // no dialog: the run has no terminal

  testing_device::RunResult run = RunTovik(device.folder(), {"\\Snapshots\\now.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  std::string section = FileSection(device.read("root/Snapshots/now.tvk"));
  ASSERT_FALSE(section.empty());
  std::vector<std::string> order;
  std::map<std::string, std::string> blocks = Blocks(section, &order);

  EXPECT_EQ("[]", order.front());
  EXPECT_EQ("", blocks["[]"]);
  EXPECT_EQ(Line(device, "Windows/coredll.dll", " R ", "3", "2C17398C", "coredll.dll"),
            blocks["[\\Windows]"]);
  EXPECT_EQ(Line(device, "Windows/Fonts/tahoma.ttf", " R ", "9", "89A1897F", "tahoma.ttf"),
            blocks["[\\Windows\\Fonts]"]);
  std::string data = blocks["[\\Data]"];
  EXPECT_NE(std::string::npos,
            data.find(Line(device, "Data/\xD0\xB6.txt", "   ", "3", "2C17398C", "?.txt")));
  EXPECT_NE(std::string::npos,
            data.find(Line(device, "Data/pipe", "   ", "0", "00000000", "pipe")));
  EXPECT_EQ(Line(device, "Data/Empty/up", "   ", "0", "00000000", "up"), blocks["[\\Data\\Empty]"]);
  // Each folder's subfolders follow it directly.
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] == "[\\Windows]") {
      EXPECT_EQ("[\\Windows\\Fonts]", order.at(i + 1));
    }
    if (order[i] == "[\\Data]") {
      EXPECT_EQ("[\\Data\\Empty]", order.at(i + 1));
    }
  }
}

// A device that came from elsewhere, with links that aim at the host: the
// run creates and reads nothing outside the device folder.
TEST(FilesRun, LinksNeverReachTheHost) {
  TestDevice device;
  std::string host = device.folder() + "/host";  // stands for the host's own files
  device.write("host/secret.txt", "secret");
  struct Link {
    const char *name;
    std::string target;
  };
  for (const Link &link :
       {Link{"out", host}, Link{"f.tvk", host + "/secret.txt"}, Link{"etc", host},
        Link{"up", "../../host"}, Link{"kmsg", "/proc/kmsg"}, Link{"shadow", "/etc/shadow"}})
    ASSERT_EQ(0, ::symlink(link.target.c_str(), device.host(link.name).c_str()));
  device.writeSettings("Setup 0\r\nDefault_path \\out\\\r\n");

  for (const char *path : {"\\out\\a.tvk", "\\f.tvk", "\\up\\b.tvk", ""}) {
    testing_device::RunResult run = RunTovik(
        device.folder(), path[0] ? std::vector<std::string>{path} : std::vector<std::string>{});
    EXPECT_EQ(1, run.exitCode) << path;
    EXPECT_NE(std::string::npos, run.err.find("File creating error")) << path;
  }
  EXPECT_EQ(std::vector<std::string>({"secret.txt"}), device.list("host"));
  EXPECT_EQ("secret", device.read("host/secret.txt"));

  device.writeSettings("Setup 0\r\n");
  testing_device::RunResult run = RunTovik(device.folder(), {"\\now.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  std::string section = FileSection(device.read("root/now.tvk"));
  std::vector<std::string> order;
  std::map<std::string, std::string> blocks = Blocks(section, &order);
  EXPECT_EQ(std::string::npos, section.find("secret")) << section;
  // Every link is listed as itself, none is entered.
  EXPECT_EQ(std::vector<std::string>({"[]", "[\\My Documents]"}), order);
  for (const char *name : {"out", "f.tvk", "etc", "up", "kmsg", "shadow"})
    EXPECT_NE(std::string::npos, blocks["[]"].find(std::string("00000000 ") + name + "\r\n"))
        << name << "\n"
        << section;
}

TEST(FilesRun, SampleDeviceMarksItsRomFiles) {
  TestDevice device;
  std::string copy = "cp -R '" TOVIK_SOURCE_DIR "/samples/device/.' '" + device.folder() + "'";
  ASSERT_EQ(0, std::system(copy.c_str()));
  device.writeSettings("Setup 0\r\n");  // no dialog: the run has no terminal
  testing_device::RunResult run = RunTovik(device.folder(), {"\\Temp\\sample.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("", run.err);  // rom.txt is well formed
  std::vector<std::string> order;
  std::map<std::string, std::string> blocks =
      Blocks(FileSection(device.read("root/Temp/sample.tvk")), &order);
  std::string windows = blocks["[\\Windows]"];
  EXPECT_NE(std::string::npos, windows.find(" R ")) << windows;
  EXPECT_NE(std::string::npos, windows.find("coredll.dll"));
  EXPECT_EQ(std::string::npos, blocks["[\\My Documents]"].find(" R "));
}

}  // namespace
