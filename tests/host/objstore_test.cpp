// The object store of the host device: the enumeration and information
// calls, and the reading of databases.txt.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

// Every identifier an enumeration returns, closing it afterwards.
std::vector<CEOID> Enumerate(DWORD type = 0) {
  std::vector<CEOID> oids;
  HANDLE search = CeFindFirstDatabase(type);
  if (search == INVALID_HANDLE_VALUE) return oids;
  for (CEOID oid; (oid = CeFindNextDatabase(search)) != 0;) oids.push_back(oid);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
  EXPECT_EQ(0u, CeFindNextDatabase(search));  // the end stays the end
  EXPECT_TRUE(CloseHandle(search));
  return oids;
}

std::string Stamp(const FILETIME &ft) {
  SYSTEMTIME st{};
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &st));
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return text;
}

CEOIDINFO Info(CEOID oid) {
  CEOIDINFO info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_TRUE(CeOidGetInfo(oid, &info)) << oid;
  return info;
}

TEST(ObjectStore, NoFileMeansNoObjectStore) {
  TestDevice device;
  EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstDatabase(0));
  // A folder or a FIFO in its place is not read (and never waited on).
  device.mkdir("databases.txt");
  PlatformResetDevice();
  testing::internal::CaptureStderr();
  EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstDatabase(0));
  ::rmdir((device.folder() + "/databases.txt").c_str());
  ASSERT_EQ(0, ::mkfifo((device.folder() + "/databases.txt").c_str(), 0600));
  PlatformResetDevice();
  EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstDatabase(0));
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("databases.txt: not a regular file"));
}

TEST(ObjectStore, EmptyStoreEnumeratesNothing) {
  TestDevice device;
  device.write("databases.txt", "# nothing yet\n\n   \n\t\n");
  HANDLE search = CeFindFirstDatabase(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_EQ(0u, CeFindNextDatabase(search));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
  EXPECT_TRUE(CloseHandle(search));
  EXPECT_FALSE(CloseHandle(search));  // closed: the handle is known no more
  EXPECT_EQ(0u, CeFindNextDatabase(search));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(ObjectStore, ObjectsComeInFileOrderWithTheirInformation) {
  TestDevice device;
  device.write("databases.txt",
               "\xEF\xBB\xBF"  // a byte order mark is passed over
               "database\tContacts Database\t4294967295\t65535\t2026-12-07 10:19:17\t0x2A\r\n"
               "  # an indented comment\n"
               "file\t\\Windows\\Caf\xC3\xA9.txt\t1234\t1999-12-31 23:59:59\n"
               "directory\tMy Documents\n"
               "record\tfirst contact\n"
               "unreadable\n"
               "database\t0123456789012345678901234567890\t0\t0\t1601-01-01 00:00:00");
  std::vector<CEOID> oids = Enumerate();
  ASSERT_EQ(6u, oids.size());

  CEOIDINFO db = Info(oids[0]);
  EXPECT_EQ(OBJTYPE_DATABASE, db.wObjType);
  EXPECT_STREQ(L"Contacts Database", db.infDatabase.szDbaseName);
  EXPECT_EQ(4294967295u, db.infDatabase.dwSize);
  EXPECT_EQ(65535, db.infDatabase.wNumRecords);
  EXPECT_EQ(0x2Au, db.infDatabase.dwDbaseType);
  EXPECT_EQ("2026-12-07 10:19:17", Stamp(db.infDatabase.ftLastModified));

  CEOIDINFO file = Info(oids[1]);
  EXPECT_EQ(OBJTYPE_FILE, file.wObjType);
  EXPECT_STREQ(L"\\Windows\\Caf\u00E9.txt", file.infFile.szFileName);
  EXPECT_EQ(1234u, file.infFile.dwLength);
  EXPECT_EQ("1999-12-31 23:59:59", Stamp(file.infFile.ftLastChanged));

  CEOIDINFO dir = Info(oids[2]);
  EXPECT_EQ(OBJTYPE_DIRECTORY, dir.wObjType);
  EXPECT_STREQ(L"My Documents", dir.infDirectory.szDirName);

  CEOIDINFO record = Info(oids[3]);
  EXPECT_EQ(OBJTYPE_RECORD, record.wObjType);
  EXPECT_EQ(oids[0], record.infRecord.oidParent);

  // The unreadable object fails and leaves the record as it was.
  CEOIDINFO kept = dir;
  EXPECT_FALSE(CeOidGetInfo(oids[4], &kept));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(0, std::memcmp(&kept, &dir, sizeof kept));

  // The longest database name fills the name field with its terminator.
  CEOIDINFO longest = Info(oids[5]);
  EXPECT_STREQ(L"0123456789012345678901234567890", longest.infDatabase.szDbaseName);
  EXPECT_EQ(0u, longest.infDatabase.dwSize);
  EXPECT_EQ("1601-01-01 00:00:00", Stamp(longest.infDatabase.ftLastModified));

  // Identifiers the store does not hold.
  EXPECT_FALSE(CeOidGetInfo(0, &kept));
  EXPECT_FALSE(CeOidGetInfo(oids[5] + 1, &kept));
  EXPECT_FALSE(CeOidGetInfo(oids[0], nullptr));
}

TEST(ObjectStore, TypeSelectsDatabasesOfThatType) {
  TestDevice device;
  device.write("databases.txt",
               "database\tA\t1\t1\t2026-01-01 00:00:00\t7\n"
               "file\tf\t1\t2026-01-01 00:00:00\n"
               "database\tB\t1\t1\t2026-01-01 00:00:00\n"
               "database\tC\t1\t1\t2026-01-01 00:00:00\t7\n");
  std::vector<CEOID> all = Enumerate(0);
  ASSERT_EQ(4u, all.size());
  EXPECT_EQ(std::vector<CEOID>({all[0], all[3]}), Enumerate(7));
  EXPECT_TRUE(Enumerate(8).empty());
}

TEST(ObjectStore, MalformedLinesAreReportedAndSkipped) {
  TestDevice device;
  const std::vector<std::string> bad = {
      "table\tX",                                          // unknown kind
      "Database\tX\t1\t1\t2026-01-01 00:00:00",            // kinds are lower case
      "database\tX\t1\t1",                                 // too few fields
      "database\tX\t1\t1\t2026-01-01 00:00:00\t7\textra",  // too many
      "database\t\t1\t1\t2026-01-01 00:00:00",             // empty name
      "database\t01234567890123456789012345678901\t1\t1\t2026-01-01 00:00:00",  // 32 chars
      "database\tX\t4294967296\t1\t2026-01-01 00:00:00",              // size beyond 32 bits
      "database\tX\t-1\t1\t2026-01-01 00:00:00",                      // signed size
      "database\tX\t1\t65536\t2026-01-01 00:00:00",                   // records beyond 16 bits
      "database\tX\t1\t1x\t2026-01-01 00:00:00",                      // not a number
      "database\tX\t1\t1\t2026-02-29 00:00:00",                       // no such day
      "database\tX\t1\t1\t2026-01-01 24:00:00",                       // no such hour
      "database\tX\t1\t1\t2026-1-01 00:00:00",                        // wrong form
      "database\tX\t1\t1\t1600-12-31 23:59:59",                       // before the epoch
      "database\tX\t1\t1\t2026-01-01 00:00:00\t0x100000000",          // type beyond 32 bits
      "file\tf\t1",                                                   // no time
      "file\t" + std::string(260, 'n') + "\t1\t2026-01-01 00:00:00",  // name too long
      std::string("directory\tA\0B", 13),                             // NUL in a name
      "directory",                                                    // no name
      "record\ta\tb",                                                 // too many fields
  };
  std::string text = "database\tFirst\t1\t1\t2026-01-01 00:00:00\n";
  for (const std::string &line : bad) text += line + "\n";
  text += "directory\tLast\n";
  device.write("databases.txt", text);

  testing::internal::CaptureStderr();
  std::vector<CEOID> oids = Enumerate();
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(2u, oids.size());
  EXPECT_STREQ(L"First", Info(oids[0]).infDatabase.szDbaseName);
  EXPECT_STREQ(L"Last", Info(oids[1]).infDirectory.szDirName);
  for (size_t i = 0; i < bad.size(); ++i) {
    std::string where = "databases.txt:" + std::to_string(i + 2) + ": ";
    EXPECT_NE(std::string::npos, err.find(where)) << where << "\n" << err;
  }
  EXPECT_EQ(std::string::npos, err.find("databases.txt:1:"));
  EXPECT_EQ(std::string::npos, err.find("databases.txt:" + std::to_string(bad.size() + 2)));
  // The file is read once, however often it is enumerated.
  testing::internal::CaptureStderr();
  Enumerate();
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(ObjectStore, ChangeOfDeviceRereadsTheFile) {
  TestDevice device;
  device.write("databases.txt", "directory\tOld\n");
  ASSERT_EQ(1u, Enumerate().size());
  device.write("databases.txt", "directory\tNew\ndirectory\tMore\n");
  EXPECT_EQ(1u, Enumerate().size());  // kept until the device is forgotten
  HANDLE open = CeFindFirstDatabase(0);
  PlatformResetDevice();
  std::vector<CEOID> oids = Enumerate();
  ASSERT_EQ(2u, oids.size());
  EXPECT_STREQ(L"New", Info(oids[0]).infDirectory.szDirName);
  // An enumeration opened before the change goes on over the new store.
  EXPECT_EQ(oids[0], CeFindNextDatabase(open));
  EXPECT_TRUE(CloseHandle(open));
}

TEST(ObjectStore, SampleDeviceStoreIsWellFormed) {
  ::setenv("TOVIK_DEVICE", TOVIK_SOURCE_DIR "/samples/device", 1);
  PlatformResetDevice();
  testing::internal::CaptureStderr();
  std::vector<CEOID> oids = Enumerate();
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  int databases = 0, empty = 0;
  for (CEOID oid : oids) {
    CEOIDINFO info = Info(oid);
    if (info.wObjType != OBJTYPE_DATABASE) continue;
    ++databases;
    if (info.infDatabase.dwSize == 0 && info.infDatabase.wNumRecords == 0) ++empty;
  }
  EXPECT_GE(databases, 5);
  EXPECT_EQ(1, empty);
  ::unsetenv("TOVIK_DEVICE");
  PlatformResetDevice();
}

}  // namespace
