// File system and database differences.
#include <gtest/gtest.h>

#include "diff_support.h"

using diff_test::Diff;
using diff_test::Snapshot;

namespace {

const std::string kOld = Snapshot({
    "[]",
    "07/12/2026 10:19          1234 89A1897F readme.txt",
    "07/12/2026 10:19            10 2C17398C same.txt",
    "07/12/2026 10:19             3 2C17398C gone.txt",
    R"([\Windows])",
    "01/01/2003 00:00 R       4096 00000000 boot.bin",
    "01/01/2003 00:00 R       4096 00000000 shell.exe",
    R"([\Temp])",
    R"([\Temp\Old])",
    "07/12/2026 10:19           100 00000000 a b [1].txt",
    R"([\Temp\Old\Inner])",
    "07/12/2026 10:19 R 12345678901 00000000 huge.bin",
    "",
    "[Databases]",
    "B 07/12/2026 10:19         4096     12 Contacts",
    "B 07/12/2026 10:19          512      0 Tasks",
    "F 07/12/2026 10:19           20 \\Windows\\log.txt",
    "D \\Windows",
});

TEST(FilesDiff, EveryKindOfChangeSaysWhatChanged) {
  const std::string after = Snapshot({
      "[]",
      "08/12/2026 11:00          2048 12345678 readme.txt",  // time, size, CRC
      "07/12/2026 10:19            10 2C17398C same.txt",
      "07/12/2026 10:19             0 00000000 new [x] = y.txt",
      R"([\Windows])",
      "01/01/2003 00:00         4096 00000000 boot.bin",  // no longer in ROM
      "01/01/2003 00:00 R       4096 00000000 shell.exe",
      R"([\Temp])",
      R"([\Program Files])",
      R"([\Program Files\App])",
      "08/12/2026 11:00            42 0000ABCD app.exe",
      "",
      "[Databases]",
      "B 07/12/2026 10:19         8192     13 Contacts",
      "B 08/12/2026 11:00          512      0 Tasks",
      "F 07/12/2026 10:19           20 \\Windows\\log.txt",
      "D \\Windows2",
  });
  diff_test::Run run = Diff(kOld, after);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_EQ(
      "Summary: 15 differences\n"
      "  File system: 2 directories added, 2 directories removed, 2 files added, 3 files "
      "removed, 2 files changed\n"
      "  Databases: 1 object added, 1 object removed, 2 objects changed\n"
      "\n"
      "File system\n"
      "  []\n"
      "~     readme.txt: size 1234 -> 2048, CRC 89A1897F -> 12345678, time 07/12/2026 10:19 -> "
      "08/12/2026 11:00\n"
      "+     07/12/2026 10:19             0 00000000 new [x] = y.txt\n"
      "-     07/12/2026 10:19             3 2C17398C gone.txt\n"
      "  [\\Windows]\n"
      "~     boot.bin: no longer in ROM\n"
      "+ [\\Program Files]\n"
      "+ [\\Program Files\\App]\n"
      "+     08/12/2026 11:00            42 0000ABCD app.exe\n"
      "- [\\Temp\\Old]  (subtree of 2 directories, 2 files, 12345679001 bytes)\n"
      "\n"
      "Databases\n"
      "~ B Contacts: size 4096 -> 8192, records 12 -> 13\n"
      "~ B Tasks: time 07/12/2026 10:19 -> 08/12/2026 11:00\n"
      "+ D \\Windows2\n"
      "- D \\Windows\n",
      run.out);
}

TEST(FilesDiff, JsonListsOldAndNewFields) {
  const std::string before = Snapshot({"[]", "07/12/2026 10:19             1 00000001 a", "",
                                       "[Databases]", "F 07/12/2026 10:19 1 f"});
  const std::string after = Snapshot({"[]", "07/12/2026 10:19 R           1 00000002 a"});
  diff_test::Run run = Diff(before, after, {"--format=json"});
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find(R"({"section": "fileSystem", "change": "changed", "kind": "file", )"
                         R"("directory": "", "name": "a", "changed": ["crc", "rom"], )"
                         R"("old": {"time": "07/12/2026 10:19", "rom": false, "size": 1, )"
                         R"("crc": "00000001"}, "new": {"time": "07/12/2026 10:19", "rom": )"
                         R"(true, "size": 1, "crc": "00000002"}})"))
      << run.out;
  // The databases section is only in the old snapshot: not compared.
  EXPECT_NE(std::string::npos,
            run.out.find(R"("databases": {"inOld": true, "inNew": false, "compared": false)"));
}

// Whether a snapshot has the CRC column is seen from its file lines. When
// only one of the two has it, CRCs are not compared and the summary says so.
TEST(FilesDiff, CrcColumnInOnlyOneSnapshotIsNotCompared) {
  const std::string with = Snapshot({"[]", "07/12/2026 10:19             1 00000001 a"});
  const std::string without = Snapshot({"[]", "07/12/2026 10:19             1 a"});
  diff_test::Run run = Diff(with, without);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("0 files changed\n"
                                            "  CRCs: not compared, only "))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("old.tvk has them\n")) << run.out;
}

TEST(FilesDiff, NameThatLooksLikeACrcIsANameWhenTheColumnIsAbsent) {
  // The first line could be read with a CRC column; the second cannot, so
  // neither has one, and the first file is named "DEADBEEF x".
  const std::string before = Snapshot(
      {"[]", "07/12/2026 10:19             1 DEADBEEF x", "07/12/2026 10:19             1 plain"});
  const std::string after = Snapshot(
      {"[]", "07/12/2026 10:19             2 DEADBEEF x", "07/12/2026 10:19             1 plain"});
  diff_test::Run run = Diff(before, after);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("~     DEADBEEF x: size 1 -> 2\n")) << run.out;
}

TEST(FilesDiff, SizesOfOldSignedSnapshotsAreReadAsTheirUnsignedValue) {
  const std::string before = Snapshot({"[]", "07/12/2026 10:19   -1294967296 big"});
  const std::string after = Snapshot({"[]", "07/12/2026 10:19    3000000000 big"});
  EXPECT_EQ(0, Diff(before, after).code);
}

}  // namespace

namespace {

// A time that could not be formatted is written as dashes, or as nothing;
// a value type beyond 2^31 is printed negative. Such lines are still read,
// and compared like the others.
TEST(FilesDiff, UnknownTimesAndOddValueTypesAreRead) {
  const std::string before = Snapshot({
      "",
      R"([HKEY_CURRENT_USER\])",
      R"("odd"=hex(-1):00)",
      "",
      "[]",
      "--/--/---- --:--             1 a",
      "                 2 b",
      "",
      "[Databases]",
      "B --/--/---- --:--            0      0 db",
  });
  diff_test::Run same = Diff(before, before);
  EXPECT_EQ(0, same.code) << same.err;
  // Later snapshots write the type unsigned: the same value, no change.
  std::string after = before;
  after.replace(after.find("hex(-1)"), 7, "hex(4294967295)");
  after.replace(after.find("--/--/---- --:--  "), 16, "07/12/2026 10:19");
  diff_test::Run run = Diff(before, after);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("Registry\n")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("~     a: time --/--/---- --:-- -> 07/12/2026 10:19\n"))
      << run.out;
}

// Names may hold control characters (a database is named by whoever made
// it). The text report shows them as \xNN, so that none reaches the
// reader's terminal or breaks a line; JSON keeps them exact, in its own
// escapes.
TEST(FilesDiff, ControlCharactersOfNamesAreEscapedInTheTextReport) {
  const std::string before = Snapshot({"[]", "", "[Databases]"});
  const std::string after =
      Snapshot({"[]", "[\\a\x1B[2J]", "", "[Databases]", "D \x1B]0;title\x07\x1B[2J\rX\x7F"});
  diff_test::Run text = Diff(before, after);
  EXPECT_EQ(1, text.code) << text.err;
  EXPECT_NE(std::string::npos, text.out.find("+ [\\a\\x1B[2J]\n")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find("+ D \\x1B]0;title\\x07\\x1B[2J\\x0DX\\x7F\n"))
      << text.out;
  EXPECT_EQ(std::string::npos, text.out.find_first_of("\x1B\x07\r\x7F"));
  diff_test::Run json = Diff(before, after, {"--format=json"});
  EXPECT_NE(std::string::npos,
            json.out.find(R"("name": "\u001b]0;title\u0007\u001b[2J\u000dX\u007f")"))
      << json.out;
}

}  // namespace
