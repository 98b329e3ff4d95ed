// Registry differences: keys, values, removed subtrees, roots, and names
// that hold the characters of the line syntax.
#include <gtest/gtest.h>

#include "diff_support.h"

using diff_test::Diff;
using diff_test::Snapshot;

namespace {

const std::string kOld = Snapshot({
    "",
    R"([HKEY_CURRENT_USER\])",
    R"("Count"=dword:00000001)",
    R"(""="default")",
    R"("Blob"=hex(3):01,ab,ff)",
    "",
    R"([HKEY_CURRENT_USER\Software])",
    R"("Path"="\\Windows\\a")",
    "",
    R"([HKEY_CURRENT_USER\Software\Old])",
    R"("x"=dword:00000001)",
    "",
    R"([HKEY_CURRENT_USER\Software\Old\Deeper])",
    R"("y"=hex(7):)",
    R"("z"="z")",
    "",
    R"([HKEY_CURRENT_USER\Software\Old\Deeper\Deepest])",
    "",
    "",
    R"([HKEY_LOCAL_MACHINE\])",
    "",
    R"([HKEY_LOCAL_MACHINE\Software])",
    R"("Path"="\\Windows\\a")",
    "",
});

TEST(RegistryDiff, EveryKindOfChangeIsReportedUnderItsKey) {
  const std::string changed = Snapshot({
      "",
      R"([HKEY_CURRENT_USER\])",
      R"("Count"=dword:00000002)",  // changed
      R"(""="default")",
      R"("Blob"=hex(3):01,ab,fe)",  // changed
      R"("Extra"="new")",           // added
      "",
      R"([HKEY_CURRENT_USER\Software])",  // "Path" removed, Old\... removed
      "",
      R"([HKEY_CURRENT_USER\Software\App])",  // added with its value
      R"("Version"=dword:00000003)",
      "",
      "",
      R"([HKEY_LOCAL_MACHINE\])",
      "",
      R"([HKEY_LOCAL_MACHINE\Software])",
      R"("Path"="\\Windows\\a")",
      "",
  });
  diff_test::Run run = Diff(kOld, changed);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_EQ("", run.err);
  EXPECT_EQ(
      "Summary: 12 differences\n"
      "  Registry: 1 key added, 3 keys removed, 2 values added, 4 values removed, 2 values "
      "changed\n"
      "\n"
      "Registry\n"
      "  [HKEY_CURRENT_USER\\]\n"
      "~     \"Count\"=dword:00000001 -> dword:00000002\n"
      "~     \"Blob\"=hex(3):01,ab,ff -> hex(3):01,ab,fe\n"
      "+     \"Extra\"=\"new\"\n"
      "  [HKEY_CURRENT_USER\\Software]\n"
      "-     \"Path\"=\"\\\\Windows\\\\a\"\n"
      "+ [HKEY_CURRENT_USER\\Software\\App]\n"
      "+     \"Version\"=dword:00000003\n"
      "- [HKEY_CURRENT_USER\\Software\\Old]  (subtree of 3 keys, 3 values)\n",
      run.out);
}

TEST(RegistryDiff, JsonGivesDecodedNamesAndData) {
  const std::string before =
      Snapshot({"", R"([HKEY_CURRENT_USER\A])", R"("t\x09\"q"="a\\b")", R"("d"=dword:000000FF)"});
  const std::string after = Snapshot({"", R"([HKEY_CURRENT_USER\A])",
                                      "\"t\\x09\\\"q\"=\"\xe9\x80\"", R"("d"=hex(4):ff,00,00,00)"});
  diff_test::Run run = Diff(before, after, {"--format", "json"});
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find(R"("root": "HKEY_CURRENT_USER", "key": "A", "name": "t\u0009\"q", )"
                         R"("old": {"type": "string", "data": "a\\b"}, )"
                         "\"new\": {\"type\": \"string\", \"data\": \"\xc3\xa9\xe2\x82\xac\"}}"))
      << run.out;
  EXPECT_NE(std::string::npos,
            run.out.find(R"("old": {"type": "dword", "data": 255}, )"
                         R"x("new": {"type": "hex(4)", "data": "ff,00,00,00"}})x"))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find(R"("valuesChanged": 2)"));
}

// Value names and key names may hold brackets, quotes, backslashes and '=':
// a value line is told from a key header by its first character, and a
// name ends at its first unescaped quote.
TEST(RegistryDiff, NamesHoldingTheLineSyntaxAreReadAsNames) {
  const std::string before = Snapshot({
      "",
      R"([HKEY_CURRENT_USER\a]b="c"=d])",
      R"("[HKEY_CURRENT_USER\\x]"=dword:00000001)",
      R"("q\"]=\\"="v=\"w\"")",
      R"("="=hex(1):00)",
      "",
  });
  const std::string after = Snapshot({
      "",
      R"([HKEY_CURRENT_USER\a]b="c"=d])",
      R"("[HKEY_CURRENT_USER\\x]"=dword:00000002)",
      R"("q\"]=\\"="v=\"w\"")",
      R"("="=hex(1):00)",
      "",
  });
  diff_test::Run run = Diff(before, after);
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("  [HKEY_CURRENT_USER\\a]b=\"c\"=d]\n"
                         "~     \"[HKEY_CURRENT_USER\\\\x]\"=dword:00000001 -> dword:00000002\n"))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("1 value changed")) << run.out;
  EXPECT_EQ(0, Diff(before, before).code);
}

// The HTML page: names and data escaped for HTML, code page text as UTF-8,
// the old and new data side by side in a changed row, one part per section.
TEST(RegistryDiff, HtmlEscapesNamesAndShowsOldAndNewSideBySide) {
  const std::string before = Snapshot({"", R"([HKEY_CURRENT_USER\<&>])", R"("a<b>"="x&y")", ""});
  const std::string after =
      Snapshot({"", R"([HKEY_CURRENT_USER\<&>])", "\"a<b>\"=\"caf\xE9\"", ""});
  diff_test::Run run = Diff(before, after, {"--format", "html"});
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("<td class=\"name\" colspan=\"3\">"
                                            "[HKEY_CURRENT_USER\\&lt;&amp;&gt;]</td>"))
      << run.out;
  EXPECT_NE(std::string::npos,
            run.out.find("<tr class=\"changed\"><td class=\"mark\">~</td><td class=\"name\">"
                         "\"a&lt;b&gt;\"</td><td class=\"old\">&quot;x&amp;y&quot;</td>"
                         "<td class=\"new\">&quot;caf\xC3\xA9&quot;</td></tr>"))
      << run.out;
  size_t part = run.out.find("<details");
  EXPECT_NE(std::string::npos, part);
  EXPECT_EQ(std::string::npos, run.out.find("<details", part + 1));
  EXPECT_NE(std::string::npos, run.out.rfind("</html>\n")) << run.out;
}

TEST(RegistryDiff, RemovedKeysAreListedWithTheirRoot) {
  // The same path under two roots is two keys; each removal is reported
  // with the rest of its root's changes, in root order.
  const std::string after = Snapshot({
      "",
      R"([HKEY_CURRENT_USER\])",
      R"("Count"=dword:00000001)",
      R"(""="default")",
      R"("Blob"=hex(3):01,ab,ff)",
      "",
      R"([HKEY_CURRENT_USER\Software\Old])",
      R"("x"=dword:00000001)",
      "",
      R"([HKEY_CURRENT_USER\Software\Old\Deeper])",
      R"("y"=hex(7):)",
      R"("z"="z")",
      "",
      R"([HKEY_CURRENT_USER\Software\Old\Deeper\Deepest])",
      "",
      "",
      R"([HKEY_LOCAL_MACHINE\])",
      "",
      R"([HKEY_LOCAL_MACHINE\Software\New])",
      "",
  });
  diff_test::Run run = Diff(kOld, after);
  EXPECT_EQ(1, run.code) << run.err;
  // HKEY_CURRENT_USER\Software is gone but its child Old stayed: the key
  // alone is removed, with its one value.
  EXPECT_NE(std::string::npos,
            run.out.find("Registry\n"
                         "- [HKEY_CURRENT_USER\\Software]  (subtree of 1 key, 1 value)\n"
                         "+ [HKEY_LOCAL_MACHINE\\Software\\New]\n"
                         "- [HKEY_LOCAL_MACHINE\\Software]  (subtree of 1 key, 1 value)\n"))
      << run.out;
}

TEST(RegistryDiff, RepeatedNamesAreMatchedOccurrenceByOccurrence) {
  const std::string before =
      Snapshot({"", R"([HKEY_CURRENT_USER\K])", R"("v"=dword:00000001)", R"("v"=dword:00000002)"});
  const std::string after = Snapshot({"", R"([HKEY_CURRENT_USER\K])", R"("v"=dword:00000001)",
                                      R"("v"=dword:00000003)", R"("v"=dword:00000004)"});
  diff_test::Run run = Diff(before, after);
  EXPECT_NE(std::string::npos, run.out.find("~     \"v\"=dword:00000002 -> dword:00000003\n"
                                            "+     \"v\"=dword:00000004\n"))
      << run.out;
}

TEST(RegistryDiff, LongStringsAreComparedWhole) {
  std::string big(40000, 'a');
  std::string changed = big;
  changed[39999] = 'b';
  diff_test::Run run = Diff(Snapshot({"", R"([HKEY_CURRENT_USER\])", "\"s\"=\"" + big + "\""}),
                            Snapshot({"", R"([HKEY_CURRENT_USER\])", "\"s\"=\"" + changed + "\""}));
  EXPECT_EQ(1, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("1 value changed"));
}

}  // namespace
