// Modal dialogs and controls driven by scripted input, through the same
// keyboard handling the terminal uses: focus after WM_INITDIALOG, tab order,
// check boxes, buttons, edits and list boxes, and the ways a dialog ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_template.h"
#include "internal.h"
#include "platform.h"
#include "platform_testing.h"
#include "resource.h"

namespace {

struct Command {
  int id;
  int code;
  int checkAtCommand;  // BM_GETCHECK of the sender when the command came
  int fromId;          // the id of the window in lParam
};

// What the test dialog procedure saw and how it behaves.
struct Recorder {
  std::vector<Command> commands;
  int initFocusOffered = 0;  // id of the control WM_INITDIALOG offered
  int focusAtEnd = 0;
  std::wstring pathAtEnd, excludeAtEnd;
  LRESULT pathLengthAtEnd = -1;
  int selectionAtEnd = -2;
  bool setFocusToSave = true;
  INT_PTR initReturn = TRUE;
  bool endOnCancel = true;
  size_t limitExclude = 0;
  std::vector<std::wstring> patterns;
  std::wstring initialPath;
};
Recorder *g_rec = nullptr;

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Recorder &r = *g_rec;
  if (message == WM_INITDIALOG) {
    r.initFocusOffered = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
    SendDlgItemMessageW(dialog, IDC_REGISTRY, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageW(dialog, IDC_SETUP, BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, r.initialPath.c_str());
    if (r.limitExclude)
      SendDlgItemMessageW(dialog, IDC_EXCLUDE_EDIT, EM_LIMITTEXT, r.limitExclude, 0);
    for (size_t i = 0; i < r.patterns.size(); ++i) {
      LRESULT at = SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(r.patterns[i].c_str()));
      SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_SETITEMDATA, static_cast<WPARAM>(at),
                          static_cast<LPARAM>(i));
    }
    UpdateWindow(dialog);
    if (r.setFocusToSave) SetFocus(GetDlgItem(dialog, IDC_SAVE));
    return r.initReturn;
  }
  if (message != WM_COMMAND) return FALSE;
  int id = LOWORD(wParam);
  HWND from = reinterpret_cast<HWND>(lParam);
  r.commands.push_back(Command{id, HIWORD(wParam),
                               static_cast<int>(SendMessageW(from, BM_GETCHECK, 0, 0)),
                               GetDlgCtrlID(from)});
  if (id == IDOK || id == IDC_SAVE || (id == IDCANCEL && r.endOnCancel)) {
    WCHAR text[300];
    GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, text, 300);
    r.pathAtEnd = text;
    r.pathLengthAtEnd = SendDlgItemMessageW(dialog, IDC_DEFAULT_PATH, WM_GETTEXTLENGTH, 0, 0);
    GetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, text, 300);
    r.excludeAtEnd = text;
    r.selectionAtEnd =
        static_cast<int>(SendDlgItemMessageW(dialog, IDC_EXCLUDE_LIST, LB_GETCURSEL, 0, 0));
    r.focusAtEnd = GetDlgCtrlID(GetFocus());
    EndDialog(dialog, id);
    return TRUE;
  }
  return FALSE;
}

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override { g_rec = &rec; }
  void TearDown() override {
    PlatformEndDialogScript();
    PlatformUseTerminal(1);
    g_rec = nullptr;
  }
  INT_PTR Run(std::vector<PlatformInputEvent> script) {
    PlatformScriptDialogInput(script.data(), static_cast<int>(script.size()));
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), LoadDialogTemplate(IDD_CONFIG),
                                   nullptr, TestProc, 0);
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const Command &c : rec.commands) ids.push_back(c.id);
    return ids;
  }
  Recorder rec;
};

const PlatformInputEvent kTab = PlatformKey(PLATFORM_KEY_TAB);
const PlatformInputEvent kShiftTab = PlatformKey(PLATFORM_KEY_SHIFT_TAB);
const PlatformInputEvent kSpace = PlatformKey(PLATFORM_KEY_SPACE);
const PlatformInputEvent kEnter = PlatformKey(PLATFORM_KEY_ENTER);
const PlatformInputEvent kEsc = PlatformKey(PLATFORM_KEY_ESC);

// Returning TRUE from WM_INITDIALOG asks for the default focus: the first
// tab stop gets it even though the procedure set it elsewhere; returning
// FALSE keeps the procedure's choice. Enter presses the focused button.
TEST_F(Dialog, FocusAfterInitDialogFollowsTheProcedureResult) {
  EXPECT_EQ(IDOK, Run({kEnter}));
  EXPECT_EQ(IDOK, rec.focusAtEnd);
  EXPECT_EQ(IDOK, rec.initFocusOffered);
  ASSERT_EQ(1u, rec.commands.size());
  EXPECT_EQ(BN_CLICKED, rec.commands[0].code);

  rec = Recorder{};
  rec.initReturn = FALSE;
  EXPECT_EQ(IDC_SAVE, Run({kEnter}));
  EXPECT_EQ(std::vector<int>{IDC_SAVE}, Ids());
}

// Tab goes through the tab stops in template order and wraps around;
// Shift-Tab goes back. An automatic check box toggles itself before the
// dialog hears BN_CLICKED with its id.
TEST_F(Dialog, TabOrderAndCheckBoxes) {
  // IDOK -> Cancel -> Save -> registry (checked): Space unticks it.
  // Shift-Tab x4 from registry: Save, Cancel, IDOK, wraps to setup: Space.
  EXPECT_EQ(IDCANCEL, Run({kTab, kTab, kTab, kSpace, kShiftTab, kShiftTab, kShiftTab, kShiftTab,
                           kSpace, kSpace, kEsc}));
  ASSERT_EQ(4u, rec.commands.size());
  EXPECT_EQ(IDC_REGISTRY, rec.commands[0].id);
  EXPECT_EQ(BST_UNCHECKED, rec.commands[0].checkAtCommand);
  EXPECT_EQ(BN_CLICKED, rec.commands[0].code);
  EXPECT_EQ(IDC_REGISTRY, rec.commands[0].fromId);
  EXPECT_EQ(IDC_SETUP, rec.commands[1].id);
  EXPECT_EQ(BST_UNCHECKED, rec.commands[1].checkAtCommand);
  EXPECT_EQ(IDC_SETUP, rec.commands[2].id);
  EXPECT_EQ(BST_CHECKED, rec.commands[2].checkAtCommand);
  EXPECT_EQ(IDCANCEL, rec.commands[3].id);
}

// A press on a control clicks it and moves the focus there; Space on a
// push button presses it; Enter away from push buttons presses the default
// one ("Save and run").
TEST_F(Dialog, PressesSpaceAndEnter) {
  EXPECT_EQ(IDC_SAVE, Run({PlatformPress(IDC_CRC32), PlatformPress(IDC_EXCLUDE_ADD),
                           PlatformPress(IDC_SAVE)}));
  EXPECT_EQ((std::vector<int>{IDC_CRC32, IDC_EXCLUDE_ADD, IDC_SAVE}), Ids());
  EXPECT_EQ(BST_CHECKED, rec.commands[0].checkAtCommand);

  rec = Recorder{};
  EXPECT_EQ(IDCANCEL, Run({kTab, kSpace}));  // Space on Cancel
  rec = Recorder{};
  EXPECT_EQ(IDOK, Run({PlatformPress(IDC_FILES), kEnter}));  // check box: default button
  rec = Recorder{};
  EXPECT_EQ(IDOK, Run({PlatformPress(IDC_DEFAULT_PATH), kEnter}));  // edit: default button
  EXPECT_EQ(std::vector<int>{IDOK}, Ids());
}

// Typing edits the focused edit: caret keys, Backspace and Delete, the
// text limit, and the whole text selected (so replaced) when Tab reaches it.
TEST_F(Dialog, EditsTakeTypedTextWithinTheirLimit) {
  rec.initialPath = L"\\Old";
  rec.limitExclude = 5;
  std::vector<PlatformInputEvent> script;
  for (int i = 0; i < 8; ++i) script.push_back(kTab);  // IDOK .. default path
  script.push_back(PlatformText(L"\\Card"));           // replaces the selected "\Old"
  script.push_back(PlatformKey(PLATFORM_KEY_HOME));
  script.push_back(PlatformKey(PLATFORM_KEY_DELETE));  // "Card"
  script.push_back(PlatformKey(PLATFORM_KEY_END));
  script.push_back(PlatformKey(PLATFORM_KEY_LEFT));
  script.push_back(PlatformKey(PLATFORM_KEY_BACKSPACE));  // "Cad"
  script.push_back(PlatformText(L"x y"));                 // "Cax yd"
  script.push_back(PlatformKey(PLATFORM_KEY_RIGHT));
  script.push_back(PlatformText(L"\\"));  // "Cax yd\"
  script.push_back(kTab);                 // exclusion edit, limit 5
  // A character beyond U+FFFF is two UTF-16 units, and counts two.
  script.push_back(PlatformText(L"abc\U0001F600\U0001F600gh"));
  script.push_back(kEnter);
  EXPECT_EQ(IDOK, Run(script));
  EXPECT_EQ(L"Cax yd\\", rec.pathAtEnd);
  EXPECT_EQ(L"abc\xD83D\xDE00", rec.excludeAtEnd);
  int changes = 0;
  for (const Command &c : rec.commands)
    if (c.id == IDC_DEFAULT_PATH && c.code == EN_CHANGE) ++changes;
  EXPECT_EQ(11, changes);  // one per typed character, Delete and Backspace
  EXPECT_EQ(IDC_DEFAULT_PATH, rec.commands[0].fromId);
}

// The limit binds typing only: WM_SETTEXT stores any length, and an edit
// takes the device's default of 32767 typed characters.
TEST_F(Dialog, TextLimitBindsTypingOnly) {
  rec.limitExclude = 3;
  rec.initialPath = std::wstring(40000, L'p');
  std::vector<PlatformInputEvent> script;
  for (int i = 0; i < 8; ++i) script.push_back(kTab);
  script.push_back(PlatformKey(PLATFORM_KEY_END));
  script.push_back(PlatformText(L"q"));
  script.push_back(kEnter);
  EXPECT_EQ(IDOK, Run(script));
  EXPECT_EQ(std::wstring(299, L'p'), rec.pathAtEnd);  // read into 300: cut to the buffer
  EXPECT_EQ(40000, rec.pathLengthAtEnd);              // stored whole; the 'q' was refused
}

// Up and Down move the selection of a focused list box and tell an
// LBS_NOTIFY list box's dialog with LBN_SELCHANGE; the ends hold. A typed
// character selects the next item after the keyboard's one that starts with
// it, without regard to case, wrapping around; none that does, nothing.
TEST_F(Dialog, ListBoxSelectionByKeys) {
  rec.patterns = {L".TVK", L"\\TEMP", L"\\WINDOWS"};
  EXPECT_EQ(IDOK, Run({PlatformPress(IDC_EXCLUDE_LIST), PlatformKey(PLATFORM_KEY_DOWN),
                       PlatformKey(PLATFORM_KEY_DOWN), PlatformKey(PLATFORM_KEY_DOWN),
                       PlatformKey(PLATFORM_KEY_DOWN), PlatformKey(PLATFORM_KEY_UP),
                       PlatformText(L"\\\\x."), kEnter}));
  EXPECT_EQ(0, rec.selectionAtEnd);
  int changes = 0;
  for (const Command &c : rec.commands)
    if (c.id == IDC_EXCLUDE_LIST && c.code == LBN_SELCHANGE) ++changes;
  EXPECT_EQ(7, changes);  // 0, 1, 2, (end holds), 1, then typed: 2, 1 (wrapping), none, 0

  // Freshly filled, the keyboard's item is the first and nothing is
  // selected: a character searches from the second item on, and Space
  // selects the keyboard's item.
  for (auto [key, selected] : {std::pair{PlatformText(L"L"), 2}, {kSpace, 0}}) {
    rec = Recorder{};
    rec.patterns = {L"LOG", L".TVK", L"log"};
    EXPECT_EQ(IDOK, Run({PlatformPress(IDC_EXCLUDE_LIST), key, kEnter}));
    EXPECT_EQ(selected, rec.selectionAtEnd);
  }
}

// Arrows on buttons and check boxes move the focus within the group (the
// whole dialog here, wrapping); an edit keeps its arrows, and one reached
// by an arrow has its text selected.
TEST_F(Dialog, ArrowsOnButtonsMoveTheFocus) {
  const PlatformInputEvent down = PlatformKey(PLATFORM_KEY_DOWN);
  const PlatformInputEvent left = PlatformKey(PLATFORM_KEY_LEFT);
  EXPECT_EQ(IDC_SAVE, Run({left, kSpace, down, down, down, kEnter}));
  EXPECT_EQ((std::vector<int>{IDC_SETUP, IDC_SAVE}), Ids());
  rec = Recorder{};
  rec.initialPath = L"old";
  std::vector<PlatformInputEvent> script(7, kTab);  // to CRC32
  script.insert(script.end(), {PlatformKey(PLATFORM_KEY_RIGHT), PlatformText(L"ne"), left,
                               PlatformText(L"w"), kEnter});
  EXPECT_EQ(IDOK, Run(script));
  EXPECT_EQ(L"nwe", rec.pathAtEnd);
  EXPECT_EQ(IDC_DEFAULT_PATH, rec.focusAtEnd);
}

// A script that runs out reads as Esc; a dialog that ignores Esc as well is
// ended with -1 instead of waiting for ever.
TEST_F(Dialog, ScriptRunningOutCancelsAndNeverHangs) {
  EXPECT_EQ(IDCANCEL, Run({kTab}));
  EXPECT_EQ(std::vector<int>{IDCANCEL}, Ids());

  rec = Recorder{};
  rec.endOnCancel = false;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(-1, Run({}));
  EXPECT_NE(std::string::npos, ::testing::internal::GetCapturedStderr().find("ignored Esc"));
}

// Without a terminal and without a script the dialog cannot be shown: -1,
// the procedure never runs, and start-up's hint (if any) says what to do.
TEST_F(Dialog, WithoutATerminalTheDialogFails) {
  PlatformUseTerminal(0);
  for (const char *hint : {static_cast<const char *>(nullptr), "tovik: run it elsewhere\n"}) {
    host::SetNoInputHint(hint);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(-1, DialogBoxIndirectParamW(GetModuleHandleW(nullptr), LoadDialogTemplate(IDD_CONFIG),
                                          nullptr, TestProc, 0));
    EXPECT_EQ(hint ? hint : "", ::testing::internal::GetCapturedStderr());
    EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
    EXPECT_EQ(0, rec.initFocusOffered);
  }
  host::SetNoInputHint(nullptr);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"File creating error", L"", MB_OK));
  EXPECT_EQ("tovik: File creating error\n", ::testing::internal::GetCapturedStderr());
}

// The list box and text messages with the device's results at their edges.
TEST(Controls, ListBoxAndTextMessagesAtTheirEdges) {
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           LoadDialogTemplate(IDD_CONFIG), nullptr, nullptr, 0);
  ASSERT_NE(nullptr, dialog);
  HWND list = GetDlgItem(dialog, IDC_EXCLUDE_LIST);
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETCURSEL, 0, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_DELETESTRING, 0, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETITEMDATA, 0, 0));
  EXPECT_EQ(0, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"b")));
  EXPECT_EQ(1, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"a")));  // unsorted
  EXPECT_EQ(0, SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(L"c")));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(L"x")));
  EXPECT_EQ(LB_OKAY, SendMessageW(list, LB_SETITEMDATA, 2, 7));
  EXPECT_EQ(7, SendMessageW(list, LB_GETITEMDATA, 2, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(-1), 0));
  EXPECT_EQ(2, SendMessageW(list, LB_SETCURSEL, 2, 0));
  EXPECT_EQ(2, SendMessageW(list, LB_DELETESTRING, 0, 0));  // items left
  EXPECT_EQ(1, SendMessageW(list, LB_GETCURSEL, 0, 0));     // follows its item
  EXPECT_EQ(1, SendMessageW(list, LB_DELETESTRING, 1, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETCURSEL, 0, 0));  // its item went
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0));
  WCHAR text[8] = L"zzzzzzz";
  EXPECT_EQ(1, SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text)));
  EXPECT_STREQ(L"b", text);
  EXPECT_EQ(LB_ERR, SendMessageW(GetDlgItem(dialog, IDOK), LB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(L"x")));

  // Text: counts without the terminator, cut to the buffer, nothing for
  // a buffer of 0 and an empty string for 1.
  EXPECT_TRUE(SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, L"\\Storage Card\\"));
  EXPECT_EQ(0u, GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, text, 0));
  EXPECT_EQ(7u, GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, text, 8));
  EXPECT_STREQ(L"\\Storag", text);
  EXPECT_EQ(0u, GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, text, 1));
  EXPECT_STREQ(L"", text);
  EXPECT_EQ(0u, GetDlgItemTextW(dialog, 4242, text, 8));
  EXPECT_STREQ(L"", text);
  EXPECT_EQ(14, SendDlgItemMessageW(dialog, IDC_DEFAULT_PATH, WM_GETTEXTLENGTH, 0, 0));

  // BM_CLICK clicks: an automatic check box toggles.
  HWND crc = GetDlgItem(dialog, IDC_CRC32);
  SendMessageW(crc, BM_CLICK, 0, 0);
  EXPECT_EQ(BST_CHECKED, SendMessageW(crc, BM_GETCHECK, 0, 0));
  EXPECT_EQ(0, SendMessageW(list, BM_GETCHECK, 0, 0));

  // SetFocus answers the window that had the focus.
  SetFocus(crc);
  EXPECT_EQ(crc, SetFocus(list));
  EXPECT_EQ(list, GetFocus());

  EXPECT_EQ(0u, PlatformRepaintCount(dialog));
  EXPECT_TRUE(UpdateWindow(dialog));
  EXPECT_TRUE(UpdateWindow(dialog));
  EXPECT_EQ(2u, PlatformRepaintCount(dialog));
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_EQ(nullptr, GetFocus());
}

}  // namespace
