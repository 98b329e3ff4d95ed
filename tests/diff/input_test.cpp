// What tovik-diff accepts as a snapshot, what it refuses, and its command
// line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "diff_support.h"

using diff_test::Diff;
using diff_test::Snapshot;

namespace {

const std::string kFull = Snapshot({
    "",
    R"([HKEY_CURRENT_USER\])",
    R"("a"=dword:00000001)",
    "",
    "",
    R"([HKEY_LOCAL_MACHINE\])",
    "",
    "[]",
    "07/12/2026 10:19            10 00000000 a.txt",
    "",
    "[Databases]",
    "D \\Windows",
});

std::string WithLf(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

TEST(Input, IdenticalSnapshotsGiveAnEmptyReport) {
  diff_test::Run run = Diff(kFull, kFull);
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ("", run.out);
  EXPECT_EQ("", run.err);
  // The same snapshot with LF line ends, and two empty snapshots (every
  // section switched off).
  EXPECT_EQ(0, Diff(kFull, WithLf(kFull)).code);
  diff_test::Run empty = Diff("", "");
  EXPECT_EQ(0, empty.code) << empty.err;
  EXPECT_EQ("", empty.out);
  diff_test::Run json = Diff(kFull, kFull, {"--format", "json"});
  EXPECT_EQ(0, json.code);
  EXPECT_NE(std::string::npos, json.out.find("\"differs\": false")) << json.out;
  EXPECT_NE(std::string::npos, json.out.find("\"changes\": []")) << json.out;
  diff_test::Run html = Diff(kFull, kFull, {"--format=html"});
  EXPECT_EQ(0, html.code);
  EXPECT_NE(std::string::npos, html.out.find("<h2>No differences</h2>")) << html.out;
  EXPECT_EQ(std::string::npos, html.out.find("<details")) << html.out;
}

TEST(Input, SectionInOnlyOneSnapshotIsNotCompared) {
  const std::string filesOnly = Snapshot({"[]", "07/12/2026 10:19            10 00000000 a.txt"});
  diff_test::Run run = Diff(kFull, filesOnly);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Summary: 0 differences\n  Registry: not compared, "
                                            "only in "))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("  Databases: not compared, only in ")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("\nRegistry\n")) << run.out;
}

// Trouble: the message names the file and the line.
TEST(Input, MalformedLinesAreReportedWithFileAndLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"\r\n[HKEY_CURRENT_USER\\]\r\n\"a\"=dword:0000", ":3: the file ends inside a line"},
      {"\r\n[HKEY_CURRENT_USER\\]\r\n\"a\"=\"abc\r\n", ":3: malformed registry value data"},
      {"\r\n[HKEY_CURRENT_USER\\]\r\n\"a\\\"=dword:00000001\r\n",
       ":3: registry value name without its closing quote"},
      {"[]\r\n07/12/2026 10:19   \r\n", ":2: malformed size in file line"},
      {"[]\r\n07/12/2026\r\n", ":2: malformed file line"},
      {"[]\r\n07/12/2026 10:19 X          1 a\r\n", ":2: malformed ROM marker"},
      {"\r\n[Databases]\r\nB 07/12/2026 10:19  x\r\n", ":3: malformed size in database line"},
      {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\a]\r\n", ":1: not a line of a tovik snapshot"},
      {"[]\r\n\r\n[HKEY_CURRENT_USER\\]\r\n", ":3: registry key after the file system section"},
      {"\r\n[HKEY_NOWHERE\\]\r\n", ":2: unknown registry root HKEY_NOWHERE"},
      {"\r\n\"a\"=dword:00000001\r\n", ":2: registry value outside the registry section"},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\n\0",
                   10),
       ":1: not a line of a tovik snapshot"},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0",
                   10),
       ":1: the file ends inside a line"},
  };
  for (const Case &c : cases) {
    // As the new snapshot (streamed) and as the old one (read whole).
    diff_test::Run asNew = Diff(kFull, c.text);
    EXPECT_EQ(2, asNew.code) << c.message;
    EXPECT_NE(std::string::npos, asNew.err.find("new.tvk" + c.message)) << asNew.err;
    EXPECT_EQ("", asNew.out);
    diff_test::Run asOld = Diff(c.text, kFull);
    EXPECT_EQ(2, asOld.code) << c.message;
    EXPECT_NE(std::string::npos, asOld.err.find("old.tvk" + c.message)) << asOld.err;
  }
}

TEST(Input, UnreadableFilesAreTrouble) {
  diff_test::Folder folder;
  std::string good = folder.Write("good.tvk", kFull);
  diff_test::Run missing = diff_test::DiffFiles({good, folder.path() + "/missing.tvk"});
  EXPECT_EQ(2, missing.code);
  EXPECT_NE(std::string::npos, missing.err.find("cannot open " + folder.path() + "/missing.tvk"))
      << missing.err;
  diff_test::Run directory = diff_test::DiffFiles({folder.path(), good});
  EXPECT_EQ(2, directory.code);
  EXPECT_NE(std::string::npos, directory.err.find("cannot read " + folder.path())) << directory.err;
}

// A snapshot given through a pipe, as by a shell's process substitution,
// cannot be read twice; it is read once and kept.
TEST(Input, NewSnapshotFromAPipe) {
  diff_test::Folder folder;
  std::string old = folder.Write("old.tvk", kFull);
  int ends[2];
  ASSERT_EQ(0, ::pipe(ends));
  std::string changed = kFull;
  changed.replace(changed.find("dword:00000001"), 14, "dword:00000002");
  ASSERT_EQ(static_cast<ssize_t>(changed.size()), ::write(ends[1], changed.data(), changed.size()));
  ::close(ends[1]);
  diff_test::Run run = diff_test::DiffFiles({old, "/dev/fd/" + std::to_string(ends[0])});
  ::close(ends[0]);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("~     \"a\"=dword:00000001 -> dword:00000002"))
      << run.out;
}

TEST(Input, CommandLine) {
  EXPECT_EQ(2, diff_test::DiffFiles({}).code);
  EXPECT_EQ(2, diff_test::DiffFiles({"a"}).code);
  diff_test::Run unknown = diff_test::DiffFiles({"--colour", "a", "b"});
  EXPECT_EQ(2, unknown.code);
  EXPECT_NE(std::string::npos, unknown.err.find("unknown option --colour"));
  EXPECT_EQ(2, diff_test::DiffFiles({"--format", "xml", "a", "b"}).code);
  diff_test::Run help = diff_test::DiffFiles({"--help"});
  EXPECT_EQ(0, help.code);
  EXPECT_NE(std::string::npos, help.out.find("usage: tovik-diff"));
}

TEST(Input, TheProgramExitsWithTheComparisonsStatus) {
  diff_test::Folder folder;
  std::string a = folder.Write("a.tvk", kFull);
  std::string b = folder.Write("b.tvk", Snapshot({"[]"}));
  std::string bad = folder.Write("bad.tvk", "junk\n");
  auto run = [&](const std::string &x, const std::string &y) {
    std::string command =
        std::string("'") + TOVIK_DIFF_BINARY + "' '" + x + "' '" + y + "' >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(0, run(a, a));
  EXPECT_EQ(1, run(a, b));
  EXPECT_EQ(2, run(a, bad));
}

}  // namespace
