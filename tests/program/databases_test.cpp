// The databases section: its line layouts byte for byte, the objects it
// passes over, the progress window, and short memory.
#include <gtest/gtest.h>

#include <string>

#include "dialog_template.h"
#include "output/output.h"
#include "platform_testing.h"
#include "resource.h"
#include "snapshot/databases.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

class DatabaseListing : public ::testing::Test {
 protected:
  TestDevice device;
  HWND progress = nullptr;

  void SetUp() override {
    progress =
        CreateDialogIndirectParamW(nullptr, LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
    ASSERT_NE(nullptr, progress);
  }
  void TearDown() override {
    OutClose();
    DestroyWindow(progress);
  }

  // The section DumpDatabases writes for `store` (the contents of
  // databases.txt), as the bytes of the file.
  std::string Dump(const std::string &store) {
    device.write("databases.txt", store);
    EXPECT_EQ(1, OutOpen(L"\\out.txt", L"w"));
    DumpDatabases(progress);
    OutClose();
    EXPECT_EQ(0, PlatformOpenDatabaseEnumerations());  // the search was closed
    return device.read("root/out.txt");
  }

  std::wstring Item() {
    WCHAR text[300] = {0};
    GetDlgItemTextW(progress, IDC_ITEM, text, 300);
    return text;
  }
  unsigned Repaints() { return PlatformRepaintCount(progress); }
};

TEST_F(DatabaseListing, ThreeLayouts) {
  // Sizes are unsigned: 2 GB and more show as they are, not as negatives.
  EXPECT_EQ(
      "B 07/12/2026 10:19         2048     12 Contacts Database\r\n"
      "F 02/01/2026 03:04   2147483648 \\Windows\\readme.txt\r\n"
      "D \\My Documents\r\n"
      "B 31/12/1999 23:59            0      0 Empty\r\n"
      "B 01/01/2000 00:00   4294967295  65535 Full\r\n",
      Dump("database\tContacts Database\t2048\t12\t2026-12-07 10:19:17\n"
           "file\t\\Windows\\readme.txt\t2147483648\t2026-01-02 03:04:05\n"
           "directory\t\\My Documents\n"
           "database\tEmpty\t0\t0\t1999-12-31 23:59:59\n"
           "database\tFull\t4294967295\t65535\t2000-01-01 00:00:00\n"));
}

TEST_F(DatabaseListing, OtherTypesAndUnreadableObjectsArePassedOver) {
  // Neither a record nor an object whose information cannot be read gives a
  // line, and nothing of the object before them is written again.
  EXPECT_EQ(
      "B 01/01/2026 00:00          100      2 Mail\r\n"
      "D Inbox\r\n",
      Dump("database\tMail\t100\t2\t2026-01-01 00:00:00\n"
           "record\n"
           "unreadable\n"
           "unreadable\n"
           "directory\tInbox\n"
           "unreadable\n"));
  EXPECT_EQ(2u, Repaints());
}

TEST_F(DatabaseListing, EachNameIsShownInTheProgressWindow) {
  Dump(
      "database\tFirst\t1\t1\t2026-01-01 00:00:00\n"
      "file\tSecond\t1\t2026-01-01 00:00:00\n"
      "directory\tThird\n"
      "record\n");
  EXPECT_EQ(L"Third", Item());
  EXPECT_EQ(3u, Repaints());
  // A listing without a progress window writes the same lines.
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  DumpDatabases(nullptr);
  OutClose();
  EXPECT_EQ(
      "B 01/01/2026 00:00            1      1 First\r\n"
      "F 01/01/2026 00:00            1 Second\r\n"
      "D Third\r\n",
      device.read("root/out.txt"));
}

TEST_F(DatabaseListing, NamesAreWrittenInTheDeviceCodePage) {
  device.write("device.ini", "codepage=1251\n");
  // "Контакты" (contacts) in UTF-8 in the store, CP1251 in the snapshot; a
  // character the code page lacks becomes '?'.
  EXPECT_EQ("D \xCA\xEE\xED\xF2\xE0\xEA\xF2\xFB ?\r\n",
            Dump("directory\t\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B "
                 "\xE2\x98\x83\n"));
  EXPECT_EQ(L"\u041A\u043E\u043D\u0442\u0430\u043A\u0442\u044B \u2603", Item());
}

TEST_F(DatabaseListing, NamesAreStillWrittenWhenMemoryIsShort) {
  device.write("databases.txt",
               "database\tContacts Database\t1\t1\t2026-01-01 00:00:00\n"
               "file\t" +
                   std::string(259, 'f') + "\t1\t2026-01-01 00:00:00\n");
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  PlatformFailCall("LocalAlloc", 1, 1000);
  DumpDatabases(progress);
  PlatformClearFaults();
  OutClose();
  EXPECT_EQ(
      "B 01/01/2026 00:00            1      1 Contacts Database\r\n"
      "F 01/01/2026 00:00            1 " +
          std::string(259, 'f') + "\r\n",
      device.read("root/out.txt"));
}

}  // namespace
