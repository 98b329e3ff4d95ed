// Runs of the built program on devices with an object store: the databases
// section of the snapshot, byte for byte, and the reports on a bad store.
#include <gtest/gtest.h>

#include <string>

#include "test_device.h"

using testing_device::RunTovik;
using testing_device::TestDevice;

namespace {

// Runs tovik on a device whose settings list the databases only, and
// returns the snapshot (root/snap.tvk).
std::string Snapshot(const TestDevice &device, std::string *err = nullptr) {
  device.write("root/My Documents/tovik.cfg",
               "Registry 0\r\nFiles 0\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 0\r\n"
               "Exclude .TVK\r\nDefault_path \r\n");
  testing_device::RunResult run = RunTovik(device.folder(), {"\\snap.tvk"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  if (err) *err = run.err;
  return device.read("root/snap.tvk");
}

const char kHeader[] = "\r\n[Databases]\r\n";

TEST(DatabasesRun, NoObjectStoreAndAnEmptyOneGiveTheHeaderOnly) {
  TestDevice device;
  std::string err;
  EXPECT_EQ(kHeader, Snapshot(device, &err));
  EXPECT_EQ("", err);
  device.write("databases.txt", "# an object store without objects\r\n");
  EXPECT_EQ(kHeader, Snapshot(device, &err));
  EXPECT_EQ("", err);
}

TEST(DatabasesRun, ObjectsAreListedInTheirLayouts) {
  TestDevice device;
  device.write("databases.txt",
               "# the object store\n"
               "database\tContacts Database\t65536\t120\t2026-12-07 10:19:17\n"
               "record\tone contact\n"
               "database\tpmailNotify\t0\t0\t2025-06-30 23:05:00\t0x1F\n"
               "unreadable\tdeleted while listed\n"
               "file\t\\Windows\\pword.dat\t2147483648\t2024-02-29 12:00:59\n"
               "directory\t\\Windows\\Desktop\n");
  std::string err;
  EXPECT_EQ(std::string(kHeader) +
                "B 07/12/2026 10:19        65536    120 Contacts Database\r\n"
                "B 30/06/2025 23:05            0      0 pmailNotify\r\n"
                "F 29/02/2024 12:00   2147483648 \\Windows\\pword.dat\r\n"
                "D \\Windows\\Desktop\r\n",
            Snapshot(device, &err));
  EXPECT_EQ("", err);
}

TEST(DatabasesRun, MalformedLinesAreReportedWithTheirLineAndSkipped) {
  TestDevice device;
  device.write("databases.txt",
               "database\tTasks Database\t4096\t7\t2026-03-01 08:00:00\r\n"
               "database\tAn overly long database name here\t1\t1\t2026-03-01 08:00:00\r\n"
               "folder\tMail\r\n"
               "directory\tMail\r\n");
  std::string err;
  EXPECT_EQ(std::string(kHeader) +
                "B 01/03/2026 08:00         4096      7 Tasks Database\r\n"
                "D Mail\r\n",
            Snapshot(device, &err));
  for (int line = 2; line <= 3; ++line)
    EXPECT_NE(std::string::npos, err.find("databases.txt:" + std::to_string(line) + ": "))
        << line << "\n"
        << err;
  EXPECT_EQ(std::string::npos, err.find("databases.txt:1:"));
  EXPECT_EQ(std::string::npos, err.find("databases.txt:4:"));
}

}  // namespace
