// The configuration dialog procedure on a dialog built from its template:
// what it shows at start, what each control does to the settings, and how
// each button ends it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "platform.h"
#include "platform_testing.h"
#include "resource.h"
#include "run/run.h"
#include "saved_settings.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "test_device.h"
#include "ui/config_dialog.h"

using testing_device::TestDevice;

namespace {

class ConfigDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    wcscpy(Settings.configPath, L"\\My Documents\\tovik.cfg");
    device.mkdir("root/My Documents");
  }
  void TearDown() override {
    if (dialog) DestroyWindow(dialog);
  }

  void Open() {
    dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), LoadDialogTemplate(IDD_CONFIG),
                                        nullptr, ConfigDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
  }
  LRESULT Command(int id) {
    return SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
  // An automatic check box is toggled by the platform before the command.
  void Click(int id) {
    LRESULT state = SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0);
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED,
                        0);
    EXPECT_EQ(TRUE, Command(id));
  }
  int Checked(int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
  }
  std::wstring Text(int id) {
    WCHAR text[1100] = {};
    GetDlgItemTextW(dialog, id, text, 1100);
    return text;
  }
  // The list box's items as "text=data".
  std::vector<std::wstring> Listed() {
    std::vector<std::wstring> out;
    LRESULT count = SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      WCHAR text[256] = {};
      SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      LRESULT data = SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_GETITEMDATA, i, 0);
      out.push_back(std::wstring(text) + L"=" + std::to_wstring(data));
    }
    return out;
  }
  std::string SavedFile() { return device.read("root/My Documents/tovik.cfg"); }

  testing_device::SavedSettings settings;
  TestDevice device;
  HWND dialog = nullptr;
};

TEST_F(ConfigDialog, StartShowsTheSettings) {
  Settings.fileInRom = 0;
  Settings.databases = 0;
  Settings.setup = 5;  // only a flag equal to 1 is shown ticked
  ExcludeAdd(L".TVK");
  ExcludeAdd(L"\\TEMP");
  wcscpy(Settings.defaultPath, L"\\Storage Card\\");
  Open();
  EXPECT_EQ(BST_CHECKED, Checked(IDC_REGISTRY));
  EXPECT_EQ(BST_CHECKED, Checked(IDC_FILES));
  EXPECT_EQ(BST_CHECKED, Checked(IDC_CRC32));
  EXPECT_EQ(BST_UNCHECKED, Checked(IDC_FILEINROM));
  EXPECT_EQ(BST_UNCHECKED, Checked(IDC_DATABASES));
  EXPECT_EQ(BST_UNCHECKED, Checked(IDC_SETUP));
  EXPECT_EQ(L"\\Storage Card\\", Text(IDC_DEFAULT_PATH));
  EXPECT_EQ(std::vector<std::wstring>({L".TVK=0", L"\\TEMP=1"}), Listed());
  EXPECT_EQ(GetDlgItem(dialog, IDC_SAVE), GetFocus());
  EXPECT_GE(PlatformRepaintCount(dialog), 1u);
  EXPECT_EQ(FALSE, SendMessageW(dialog, WM_PAINT, 0, 0));
  EXPECT_EQ(FALSE, Command(IDC_DEFAULT_PATH));  // not a command the dialog acts on
}

TEST_F(ConfigDialog, EachButtonEndsWithItsOutcome) {
  struct Case {
    int button;
    bool saved;
    LONG cancelled, run;
  } cases[] = {{IDOK, true, 0, 1}, {IDC_SAVE, true, 0, 0}, {IDCANCEL, false, 1, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.button);
    device.write("root/My Documents/tovik.cfg", "old");
    Settings.dialogCancelled = 1;
    Settings.runRequested = 0;
    Open();
    Click(IDC_CRC32);
    EXPECT_EQ(TRUE, Command(c.button));
    EXPECT_EQ(c.cancelled, Settings.dialogCancelled);
    EXPECT_EQ(c.run, Settings.runRequested);
    EXPECT_EQ(c.saved, SavedFile().find("crc32 0\r\n") != std::string::npos) << SavedFile();
    EXPECT_EQ(c.saved, SavedFile() != "old");
    EXPECT_EQ(0, Settings.crc32);  // the click took effect in memory whatever the button
    Settings.crc32 = 1;
    DestroyWindow(dialog);
    dialog = nullptr;
  }
}

TEST_F(ConfigDialog, CheckBoxesSetTheirFlags) {
  LONG *const flags[] = {&Settings.registry, &Settings.files,     &Settings.fileInRom,
                         &Settings.crc32,    &Settings.databases, &Settings.setup};
  const struct {
    int box;
    LONG *flag;
  } boxes[] = {{IDC_REGISTRY, &Settings.registry}, {IDC_DATABASES, &Settings.databases},
               {IDC_FILES, &Settings.files},       {IDC_FILEINROM, &Settings.fileInRom},
               {IDC_CRC32, &Settings.crc32},       {IDC_SETUP, &Settings.setup}};
  Open();
  // Each box switches its own flag off and on again, and no other.
  for (const auto &b : boxes) {
    SCOPED_TRACE(b.box);
    Click(b.box);
    for (LONG *flag : flags) EXPECT_EQ(flag == b.flag ? 0 : 1, *flag);
    Click(b.box);
    EXPECT_EQ(1, *b.flag);
  }
}

TEST_F(ConfigDialog, UntickingShowLaterWritesSetupZero) {
  Open();
  Click(IDC_SETUP);
  Command(IDOK);
  EXPECT_NE(std::string::npos, SavedFile().find("\r\nSetup 0\r\n")) << SavedFile();
}

TEST_F(ConfigDialog, DefaultPathIsTakenOnlyWhenSaving) {
  wcscpy(Settings.defaultPath, L"\\Old\\");
  Open();
  SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, L"\\Storage Card\\");
  Click(IDC_FILES);
  Command(IDC_EXCLUDE_ADD);
  EXPECT_STREQ(L"\\Old\\", Settings.defaultPath);
  Command(IDCANCEL);
  EXPECT_STREQ(L"\\Old\\", Settings.defaultPath);
  DestroyWindow(dialog);

  Open();
  SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, L"\\Storage Card\\");
  Command(IDC_SAVE);
  EXPECT_STREQ(L"\\Storage Card\\", Settings.defaultPath);
  EXPECT_NE(std::string::npos, SavedFile().find("Default_path \\Storage Card\\\r\n"));

  // A pasted-in path longer than the record holds is cut, never overflows.
  DestroyWindow(dialog);
  Open();
  std::wstring huge(1500, L'x');
  SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, huge.c_str());
  Command(IDC_SAVE);
  EXPECT_EQ(std::wstring(DEFAULT_PATH_CHARS - 2, L'x'), std::wstring(Settings.defaultPath));
}

TEST_F(ConfigDialog, AddTakesThePatternAsTyped) {
  Open();
  EXPECT_EQ(TRUE, Command(IDC_EXCLUDE_ADD));  // empty box: nothing
  EXPECT_EQ(0, Settings.excludes.count);
  SetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, L"\\temp");
  Command(IDC_EXCLUDE_ADD);
  EXPECT_EQ(L"", Text(IDC_EXCLUDE_EDIT));
  EXPECT_EQ(std::vector<std::wstring>({L"\\temp=0"}), Listed());
  Command(IDC_SAVE);
  EXPECT_NE(std::string::npos, SavedFile().find("Exclude \\temp\r\n"));
}

TEST_F(ConfigDialog, AddWithTenHeldLeavesEverythingAsItIs) {
  for (int i = 0; i < MAX_EXCLUDES; ++i) ExcludeAdd((L"P" + std::to_wstring(i)).c_str());
  Open();
  SetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, L"ELEVEN");
  Command(IDC_EXCLUDE_ADD);
  EXPECT_EQ(L"ELEVEN", Text(IDC_EXCLUDE_EDIT));
  EXPECT_EQ(MAX_EXCLUDES, Settings.excludes.count);
  EXPECT_EQ(10u, Listed().size());
}

TEST_F(ConfigDialog, TextThatFillsTheBoxFillsASlot) {
  Open();
  std::wstring longest(EXCLUDE_CHARS - 1, L'k');
  SetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, longest.c_str());
  Command(IDC_EXCLUDE_ADD);
  ASSERT_EQ(1, Settings.excludes.count);
  EXPECT_EQ(longest, std::wstring(Settings.excludes.slots[0]));
}

TEST_F(ConfigDialog, DeleteRemovesTheSelectedPattern) {
  ExcludeAdd(L"A");
  ExcludeAdd(L"B");
  ExcludeAdd(L"C");
  Open();
  EXPECT_EQ(TRUE, Command(IDC_EXCLUDE_DELETE));  // no selection: nothing
  EXPECT_EQ(3, Settings.excludes.count);
  SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_SETCURSEL, 1, 0);
  Command(IDC_EXCLUDE_DELETE);
  EXPECT_EQ(std::vector<std::wstring>({L"A=0", L"C=1"}), Listed());
  EXPECT_EQ(2, Settings.excludes.count);
  EXPECT_STREQ(L"C", Settings.excludes.slots[1]);
  // The refill leaves nothing selected, so a second press does nothing.
  Command(IDC_EXCLUDE_DELETE);
  EXPECT_EQ(2, Settings.excludes.count);
}

// ---------------------------------------------------------------------------
// The modal dialog as start-up shows it, driven by scripted input through
// the same handling as the terminal's keys.
// ---------------------------------------------------------------------------

const char kDefaults[] =
    "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\nDatabases 1\r\nSetup 1\r\n"
    "Exclude .TVK\r\nDefault_path \r\n";

class StartUpDialog : public ConfigDialog {
 protected:
  void TearDown() override {
    PlatformEndDialogScript();
    ConfigDialog::TearDown();
  }
  // Runs start-up on a device without settings, with `script` as input.
  int Start(std::vector<PlatformInputEvent> script) {
    PlatformScriptDialogInput(script.data(), static_cast<int>(script.size()));
    return PrepareRun(GetModuleHandleW(nullptr));
  }
};

TEST_F(StartUpDialog, OutcomeOfEachWayOut) {
  EXPECT_EQ(-1, Start({PlatformPress(IDC_CRC32), PlatformKey(PLATFORM_KEY_ESC)}));
  EXPECT_EQ(kDefaults, SavedFile());  // written before the dialog, not after
  Settings.excludes.count = 0;

  EXPECT_EQ(0, Start({PlatformPress(IDC_SAVE)}));
  EXPECT_EQ(0, Settings.runRequested);
  Settings.excludes.count = 0;

  EXPECT_EQ(1, Start({PlatformPress(IDC_SETUP), PlatformKey(PLATFORM_KEY_ENTER)}));
  EXPECT_NE(std::string::npos, SavedFile().find("Setup 0\r\n")) << SavedFile();
  Settings.excludes.count = 0;

  // Now Setup 0 is read and start-up goes on without the dialog: the script
  // is left unread.
  EXPECT_EQ(1, Start({PlatformKey(PLATFORM_KEY_ESC)}));
}

// Keys as the dialog manager takes them, from fresh settings each time:
// arrows on buttons and check boxes move the focus through the dialog's one
// group (wrapping), and a character typed in the list selects the next
// pattern starting with it.
TEST_F(StartUpDialog, ArrowsAndTypedCharactersAsTheDialogManagerTakesThem) {
  const PlatformInputEvent tab = PlatformKey(PLATFORM_KEY_TAB);
  const PlatformInputEvent space = PlatformKey(PLATFORM_KEY_SPACE);
  const PlatformInputEvent enter = PlatformKey(PLATFORM_KEY_ENTER);
  std::vector<PlatformInputEvent> deleteByTyping(11, tab);  // to the list
  // "." selects .TVK, "delete" removes it, then "Save".
  deleteByTyping.insert(deleteByTyping.end(),
                        {PlatformText(L"."), tab, space, tab, tab, tab, tab, enter});
  const std::string flags = "Registry 1\r\nFiles 1\r\nFileInROM 1\r\ncrc32 1\r\n";
  const struct {
    std::vector<PlatformInputEvent> keys;
    int outcome;
    std::string saved;
  } cases[] = {
      // Down from "Save and run" to "Cancel".
      {{PlatformKey(PLATFORM_KEY_DOWN), enter}, -1, kDefaults},
      // Right from the registry box to the databases box.
      {{tab, tab, tab, PlatformKey(PLATFORM_KEY_RIGHT), space, enter},
       1,
       flags + "Databases 0\r\nSetup 1\r\nExclude .TVK\r\nDefault_path \r\n"},
      // Up from "Save and run" wraps to the last check box.
      {{PlatformKey(PLATFORM_KEY_UP), space, enter},
       1,
       flags + "Databases 1\r\nSetup 0\r\nExclude .TVK\r\nDefault_path \r\n"},
      {deleteByTyping, 0, flags + "Databases 1\r\nSetup 1\r\nDefault_path \r\n"},
  };
  for (const auto &c : cases) {
    Settings.registry = Settings.files = Settings.fileInRom = 1;  // fresh settings
    Settings.crc32 = Settings.databases = Settings.setup = 1;
    Settings.excludes.count = 0;
    Settings.dialogCancelled = 1;
    Settings.runRequested = 0;
    std::remove(device.host("My Documents/tovik.cfg").c_str());
    EXPECT_EQ(c.outcome, Start(c.keys));
    EXPECT_EQ(c.saved, SavedFile());
  }
}

TEST_F(StartUpDialog, TypedSettingsAreSavedAndSteerTheRun) {
  EXPECT_EQ(1, Start({
                   PlatformPress(IDC_DEFAULT_PATH),
                   PlatformText(L"\\Snaps\\"),
                   PlatformPress(IDC_EXCLUDE_EDIT),
                   PlatformText(L"\\temp"),
                   PlatformPress(IDC_EXCLUDE_ADD),  // "\temp" is pattern 1
                   PlatformPress(IDC_EXCLUDE_EDIT),
                   PlatformText(L"junk"),
                   PlatformPress(IDC_EXCLUDE_ADD),  // "junk" is pattern 2
                   PlatformPress(IDC_EXCLUDE_LIST),
                   // After a refill the first key selects the list's keyboard
                   // item, the first; the second goes to the end.
                   PlatformKey(PLATFORM_KEY_END),
                   PlatformKey(PLATFORM_KEY_END),
                   PlatformPress(IDC_EXCLUDE_DELETE),  // the last one goes
                   PlatformPress(IDC_FILEINROM),
                   PlatformPress(IDOK),
               }));
  EXPECT_EQ(
      "Registry 1\r\nFiles 1\r\nFileInROM 0\r\ncrc32 1\r\nDatabases 1\r\nSetup 1\r\n"
      "Exclude .TVK\r\nExclude \\temp\r\nDefault_path \\Snaps\\\r\n",
      SavedFile());
  EXPECT_STREQ(L"\\Snaps\\", Settings.defaultPath);
}

TEST_F(StartUpDialog, TypingStopsAtWhatASlotHolds) {
  std::wstring typed(EXCLUDE_CHARS + 10, L'k');
  EXPECT_EQ(0, Start({PlatformPress(IDC_EXCLUDE_EDIT), PlatformText(typed.c_str()),
                      PlatformPress(IDC_EXCLUDE_ADD), PlatformPress(IDC_SAVE)}));
  ASSERT_EQ(2, Settings.excludes.count);
  EXPECT_EQ(std::wstring(EXCLUDE_CHARS - 1, L'k'), std::wstring(Settings.excludes.slots[1]));
}

}  // namespace
