// tovik-diff on real snapshots: the built tovik is run twice on a device
// folder, with changes to its registry, files and object store between the
// runs, and the two snapshots are compared.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "diff.h"
#include "test_device.h"

using testing_device::RunTovik;
using testing_device::TestDevice;

namespace {

// Everything on, no dialog.
void Settings(const TestDevice &device) {
  device.write("root/My Documents/tovik.cfg",
               "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 0\r\n"
               "Exclude .TVK\r\nDefault_path \r\n");
}

std::string Snap(const TestDevice &device, const std::string &name) {
  testing_device::RunResult run = RunTovik(device.folder(), {"\\Snapshots\\" + name});
  EXPECT_EQ(0, run.exitCode) << run.err;
  return device.host("Snapshots/" + name);
}

struct Compared {
  int code;
  std::string out, err;
};

Compared Compare(const std::string &before, const std::string &after) {
  tovik_diff::StringOutput out, err;
  int code = tovik_diff::DiffMain({before, after}, out, err);
  return Compared{code, out.text, err.text};
}

TEST(DiffRun, ChangesBetweenTwoRunsOfTovikAreReported) {
  TestDevice device;
  Settings(device);
  device.mkdir("root/Snapshots");
  device.write("registry.reg",
               "REGEDIT4\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\App]\r\n"
               "\"Version\"=dword:00000001\r\n"
               "\"a [b] = \\\"c\\\"\"=\"x\\\\y\"\r\n"
               "\"Gone\"=\"soon\"\r\n"
               "\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
               "\"k\"=dword:00000001\r\n"
               "\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Old\\Sub]\r\n"
               "\"v\"=hex:01,02\r\n"
               "\r\n"
               "[HKEY_CURRENT_USER\\Name [with] = \"odd\"]\r\n"
               "\"[HKEY_CURRENT_USER\\\\x]\"=\"1\"\r\n");
  device.write("root/Windows/app.exe", "abc");
  device.write("root/Data/keep.txt", "same");
  device.write("root/Data/Gone/a.txt", "1");
  device.write("root/Data/Gone/Deeper/b.txt", "22");
  device.write("databases.txt",
               "database\tContacts\t4096\t12\t2026-12-07 10:19:00\n"
               "database\tTasks\t512\t0\t2026-12-07 10:19:00\n"
               "directory\t\\Windows\n");
  std::string before = Snap(device, "before.tvk");

  Compared same = Compare(before, before);
  EXPECT_EQ(0, same.code) << same.err;
  EXPECT_EQ("", same.out);

  device.write("registry.reg",
               "REGEDIT4\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\App]\r\n"
               "\"Version\"=dword:00000002\r\n"
               "\"a [b] = \\\"c\\\"\"=\"x\\\\y\"\r\n"
               "\"New\"=hex(3):01,02,03\r\n"
               "\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Added]\r\n"
               "\r\n"
               "[HKEY_CURRENT_USER\\Name [with] = \"odd\"]\r\n"
               "\"[HKEY_CURRENT_USER\\\\x]\"=\"2\"\r\n");
  device.write("root/Windows/app.exe", "abcd");
  device.write("rom.txt", "\\Data\\keep.txt\n");
  std::filesystem::remove_all(device.host("Data/Gone"));
  device.write("root/New [1] = x/b.txt", "b");
  device.write("databases.txt",
               "database\tContacts\t8192\t13\t2026-12-08 09:05:00\n"
               "database\tTasks\t512\t0\t2026-12-07 10:19:00\n"
               "file\t\\log.txt\t10\t2026-12-08 09:05:00\n");
  std::string after = Snap(device, "after.tvk");

  Compared run = Compare(before, after);
  ASSERT_EQ(1, run.code) << run.err;
  EXPECT_EQ("", run.err);
  const std::string &out = run.out;
  // Registry: a changed, an added and a removed value; an added key; a
  // removed subtree once; names holding brackets, quotes, '=' and '\'.
  EXPECT_NE(std::string::npos, out.find("  [HKEY_CURRENT_USER\\Name [with] = \"odd\"]\n"
                                        "~     \"[HKEY_CURRENT_USER\\\\x]\"=\"1\" -> \"2\"\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("~     \"Version\"=dword:00000001 -> dword:00000002\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("+     \"New\"=hex(3):01,02,03\n")) << out;
  EXPECT_NE(std::string::npos, out.find("-     \"Gone\"=\"soon\"\n")) << out;
  EXPECT_EQ(std::string::npos, out.find("a [b]")) << out;  // unchanged
  EXPECT_NE(std::string::npos, out.find("+ [HKEY_LOCAL_MACHINE\\Software\\Added]\n")) << out;
  EXPECT_NE(std::string::npos,
            out.find("- [HKEY_LOCAL_MACHINE\\Software\\Old]  (subtree of 2 keys, 2 values)\n"))
      << out;
  // File system.
  EXPECT_NE(std::string::npos, out.find("~     app.exe: size 3 -> 4, CRC ")) << out;
  EXPECT_NE(std::string::npos, out.find("~     keep.txt: now in ROM\n")) << out;
  EXPECT_NE(std::string::npos,
            out.find("- [\\Data\\Gone]  (subtree of 2 directories, 2 files, 3 bytes)\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("+ [\\New [1] = x]\n")) << out;
  EXPECT_NE(std::string::npos, out.find(" b.txt\n")) << out;
  // Databases.
  EXPECT_NE(std::string::npos,
            out.find("~ B Contacts: size 4096 -> 8192, records 12 -> 13, time 07/12/2026 10:19 "
                     "-> 08/12/2026 09:05\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("- D \\Windows\n")) << out;
  EXPECT_NE(std::string::npos, out.find("+ F 08/12/2026 09:05")) << out;
  EXPECT_NE(std::string::npos,
            out.find("  Registry: 1 key added, 2 keys removed, 1 value added, 3 values removed, "
                     "2 values changed\n"))
      << out;
}

}  // namespace
