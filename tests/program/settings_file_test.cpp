// The settings file: what the lenient reader takes from hand-written
// lines, and what the writer puts down, byte for byte.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "run/run.h"
#include "saved_settings.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

const char kDefaults[] =
    "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 1\r\n"
    "Exclude .TVK\r\nDefault_path \r\n";

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override { device.mkdir("root/My Documents"); }

  // The record as at program start.
  static void Reset() { testing_device::ResetSettings(); }
  // Loads `text` as the settings file; returns LoadSettings' result.
  int Load(const std::string &text) {
    device.writeSettings(text);
    return LoadSettings(kPath);
  }
  // The six flags in file order.
  static std::vector<int> Flags() {
    return {Settings.registry, Settings.files,     Settings.fileInRom,
            Settings.crc32,    Settings.databases, Settings.setup};
  }
  static std::vector<std::wstring> Patterns() {
    std::vector<std::wstring> out;
    for (int i = 0; i < Settings.excludes.count; ++i) out.push_back(Settings.excludes.slots[i]);
    return out;
  }

  static constexpr const WCHAR *kPath = L"\\My Documents\\tovik.cfg";
  testing_device::SavedSettings settings;
  TestDevice device;
};

TEST_F(SettingsFile, OnlyAScannedZeroSwitchesAFlagOff) {
  ASSERT_EQ(1, Load("crc32 0\r\n"));
  EXPECT_EQ(std::vector<int>({1, 1, 1, 0, 1, 1}), Flags());

  Reset();
  ASSERT_EQ(1, Load("Registry 0\nfiles +0\r\nDATABASES -0\r\nSetup 1\r\nFileInROM 0\r\n"));
  EXPECT_EQ(std::vector<int>({0, 0, 0, 1, 0, 1}), Flags());

  // A 0 later in the file never switches a flag back on, nor does a 1.
  ASSERT_EQ(1, Load("Registry 1\r\nRegistry 0\r\nRegistry 1\r\n"));
  EXPECT_EQ(0, Settings.registry);
}

TEST_F(SettingsFile, LinesThatDoNotScanChangeNothing) {
  const char *lines[] = {
      "  CRC32 0\r\n",  // the keyword must open the line
      "CRC32 x\r\n",    // not a number
      "CRC32 -1\r\n",   // a number, but not 0
      "CRC320\r\n",     // "CRC32 " is not in the line: never scanned
      "CRC32\t0\r\n",   // likewise
      "NOCRC32 0\r\n",  // found, but the scan starts at the line's start
      "Exclude \r\n",   // a keyword with nothing after it
      "Default_path \r\n", "just text\r\n",
  };
  for (const char *line : lines) {
    Reset();
    ASSERT_EQ(1, Load(line)) << line;
    EXPECT_EQ(std::vector<int>({1, 1, 1, 1, 1, 1}), Flags()) << line;
    EXPECT_EQ(0, Settings.excludes.count) << line;
    EXPECT_STREQ(L"", Settings.defaultPath) << line;
  }
  // "FILEINROM" is searched for without a blank, so these do count.
  ASSERT_EQ(1, Load("FILEINROM0\r\n"));
  EXPECT_EQ(0, Settings.fileInRom);
  Reset();
  ASSERT_EQ(1, Load("FileInRom\t0\r\n"));
  EXPECT_EQ(0, Settings.fileInRom);
}

TEST_F(SettingsFile, ValuesAreUpperCasedAndEndAtControlCharacters) {
  ASSERT_EQ(1, Load("exclude \\temp\r\n"
                    "Exclude   spaced out  \r\n"
                    "Registry 0\r\n"
                    "DEFAULT_PATH \\Storage Card\\\r\n"
                    "Exclude a\tb\r\n"
                    "Exclude \t tabbed\r\n"  // the blank in the pattern skips any white space
                    "Exclude .tvk"));        // no line end at all
  EXPECT_EQ(std::vector<std::wstring>({L"\\TEMP", L"SPACED OUT  ", L"A", L"TABBED", L".TVK"}),
            Patterns());
  EXPECT_STREQ(L"\\STORAGE CARD\\", Settings.defaultPath);
  EXPECT_EQ(0, Settings.registry);
}

TEST_F(SettingsFile, CyrillicIsUpperCasedAndAnythingAboveYaEndsAValue) {
  device.write("device.ini", "codepage=1251\n");
  // cp1251: 0xF2 0xE5 0xF1 0xF2 = "тест", 0xB9 = "№" (U+2116, above the set).
  ASSERT_EQ(1, Load("exclude \xF2\xE5\xF1\xF2\xB9rest\r\n"));
  EXPECT_EQ(std::vector<std::wstring>({L"\u0422\u0415\u0421\u0422"}), Patterns());
}

TEST_F(SettingsFile, PatternsBeyondTheTenthOrLongerThanASlotAreDropped) {
  std::string text = "Exclude " + std::string(54, 'L') + "\r\n";  // one too long
  text += "Exclude " + std::string(53, 'F') + "\r\n";             // fits exactly
  for (int i = 0; i < 12; ++i) text += "Exclude P" + std::to_string(i) + "\r\n";
  ASSERT_EQ(1, Load(text));
  std::vector<std::wstring> patterns = Patterns();
  ASSERT_EQ(10u, patterns.size());
  EXPECT_EQ(std::wstring(53, L'F'), patterns[0]);
  EXPECT_EQ(L"P8", patterns[9]);
}

TEST_F(SettingsFile, LinesLongerThan255CharactersAreReadInPieces) {
  // The first piece holds 255 characters; the rest is a line of its own.
  ASSERT_EQ(1, Load(std::string(255, 'x') + "crc32 0\r\n" + std::string(300, 'y') + "\r\n"));
  EXPECT_EQ(0, Settings.crc32);
  // A default path is cut where its piece ends.
  Reset();
  ASSERT_EQ(1, Load("Default_path " + std::string(300, 'd') + "\r\n"));
  EXPECT_EQ(std::wstring(242, L'D'), std::wstring(Settings.defaultPath));
}

TEST_F(SettingsFile, MissingFileIsReportedAndChangesNothing) {
  EXPECT_EQ(0, LoadSettings(L"\\My Documents\\none.cfg"));
  EXPECT_EQ(std::vector<int>({1, 1, 1, 1, 1, 1}), Flags());
  device.mkdir("root/My Documents/dir.cfg");
  EXPECT_EQ(0, LoadSettings(L"\\My Documents\\dir.cfg"));
}

TEST_F(SettingsFile, DefaultsAreWrittenByteForByte) {
  ExcludeAdd(L".TVK");
  ASSERT_EQ(1, SaveSettings(kPath));
  EXPECT_EQ(kDefaults, device.read("root/My Documents/tovik.cfg"));
}

TEST_F(SettingsFile, WrittenSettingsReadBackUpperCased) {
  Settings.files = 0;
  Settings.crc32 = 0;
  Settings.setup = 7;  // anything but 1 is written as 0
  ExcludeAdd(L"\\temp");
  ExcludeAdd(L"100%s %d");
  wcscpy(Settings.defaultPath, L"\\Storage Card\\Snaps %s\\");
  ASSERT_EQ(1, SaveSettings(kPath));
  EXPECT_EQ(
      "Registry 1\r\nFiles 0\r\nFileInROM 1\r\ncrc32 0\r\nDatabases 1\r\nSetup 0\r\n"
      "Exclude \\temp\r\nExclude 100%s %d\r\nDefault_path \\Storage Card\\Snaps %s\\\r\n",
      device.read("root/My Documents/tovik.cfg"));

  Reset();
  ASSERT_EQ(1, LoadSettings(kPath));
  EXPECT_EQ(std::vector<int>({1, 0, 1, 0, 1, 0}), Flags());
  EXPECT_EQ(std::vector<std::wstring>({L"\\TEMP", L"100%S %D"}), Patterns());
  EXPECT_STREQ(L"\\STORAGE CARD\\SNAPS %S\\", Settings.defaultPath);
}

TEST_F(SettingsFile, FullestRecordIsWrittenWhole) {
  for (int i = 0; i < MAX_EXCLUDES; ++i)
    ExcludeAdd(std::wstring(EXCLUDE_CHARS - 1, static_cast<WCHAR>(L'A' + i)).c_str());
  std::wstring path(DEFAULT_PATH_CHARS - 1, L'p');
  wcscpy(Settings.defaultPath, path.c_str());
  ASSERT_EQ(1, SaveSettings(kPath));
  std::string text = device.read("root/My Documents/tovik.cfg");
  EXPECT_EQ(65u + 10u * (8 + 53 + 2) + 13 + 1023 + 2, text.size());
  EXPECT_EQ("Default_path " + std::string(1023, 'p') + "\r\n", text.substr(text.size() - 1038));
}

TEST_F(SettingsFile, FileThatCannotBeCreatedIsReported) {
  EXPECT_EQ(0, SaveSettings(L"\\Nowhere\\tovik.cfg"));
  device.mkdir("root/My Documents/tovik.cfg");
  EXPECT_EQ(0, SaveSettings(kPath));
  EXPECT_EQ(std::vector<std::string>{"tovik.cfg"}, device.list("root/My Documents"));
}

// A disk that takes only part of the file (the process's file size limit
// stands in for a full disk): the save is said to have failed, and the
// file as it was - an old one, or none - stays; no empty or cut one.
TEST_F(SettingsFile, SaveThatDoesNotFitLeavesTheOldFileAndSaysSo) {
  ExcludeAdd(L".TVK");
  for (const std::string old : {"", "Setup 0\r\n"}) {
    if (!old.empty()) device.writeSettings(old);
    struct rlimit before;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 64;  // room for the message, not for the settings
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    testing::internal::CaptureStderr();
    int result = SaveSettings(kPath);
    std::string said = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(0, result);
    EXPECT_EQ("tovik: Settings writing error\n", said);
    EXPECT_EQ(old.empty() ? std::vector<std::string>{} : std::vector<std::string>{"tovik.cfg"},
              device.list("root/My Documents"));
    EXPECT_EQ(old, device.read("root/My Documents/tovik.cfg"));
  }
}

}  // namespace

namespace {

// Start-up with Setup 0: the settings are read and the run goes ahead
// without the dialog. (With Setup 1 the dialog needs a terminal; the
// end-to-end runs cover that.)
TEST_F(SettingsFile, StartUpWithSetupOffRunsAtOnce) {
  Settings.dialogCancelled = 1;
  Settings.runRequested = 0;
  wcscpy(Settings.defaultPath, L"\\stale\\");
  const std::string text = "setup 0\r\ncrc32 0\r\n";
  device.writeSettings(text);
  EXPECT_EQ(1, PrepareRun(GetModuleHandleW(nullptr)));
  EXPECT_STREQ(L"\\My Documents\\tovik.cfg", Settings.configPath);
  EXPECT_STREQ(L"", Settings.defaultPath);  // emptied before the file is read
  EXPECT_EQ(0, Settings.crc32);
  EXPECT_EQ(0, Settings.dialogCancelled);
  EXPECT_EQ(1, Settings.runRequested);
  EXPECT_EQ(text, device.read("root/My Documents/tovik.cfg"));  // not rewritten
  EXPECT_EQ(0, Settings.excludes.count);                        // ".TVK" only comes with a new file
}

}  // namespace
