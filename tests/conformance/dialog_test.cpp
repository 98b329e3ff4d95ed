// The dialog messages the configuration dialog and the progress window
// send, on the program's own templates: the same assertions on the device
// layer's windows and on Windows' real ones.
#include <gtest/gtest.h>

#include <string>

#include "dialog_template.h"
#include "resource.h"
#include "scratch.h"

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

HWND MakeDialog(int id) {
  LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(id);
  if (!dialogTemplate) return nullptr;
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialogTemplate, nullptr, QuietProc,
                                    0);
}

TEST(ConformanceDialog, TextsOfControls) {
  HWND dialog = MakeDialog(IDD_PROGRESS);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(nullptr, GetDlgItem(dialog, 4242));
  HWND item = GetDlgItem(dialog, IDC_ITEM);
  ASSERT_NE(nullptr, item);
  EXPECT_EQ(IDC_ITEM, GetDlgCtrlID(item));

  WCHAR text[64];
  EXPECT_TRUE(SetDlgItemTextW(dialog, IDC_ITEM, L"HKEY_LOCAL_MACHINE"));
  EXPECT_EQ(18u, GetDlgItemTextW(dialog, IDC_ITEM, text, 64));
  EXPECT_STREQ(L"HKEY_LOCAL_MACHINE", text);
  // A short buffer takes what fits with the terminator.
  EXPECT_EQ(4u, GetDlgItemTextW(dialog, IDC_ITEM, text, 5));
  EXPECT_STREQ(L"HKEY", text);
  EXPECT_TRUE(SetWindowTextW(item, L""));
  EXPECT_EQ(0, GetWindowTextW(item, text, 64));
  EXPECT_STREQ(L"", text);
  EXPECT_EQ(22, GetWindowTextW(dialog, text, 64));
  EXPECT_STREQ(L"Saving system state...", text);

  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ConformanceDialog, CheckBoxesAndTheExclusionList) {
  HWND dialog = MakeDialog(IDD_CONFIG);
  ASSERT_NE(nullptr, dialog);
  HWND crc = GetDlgItem(dialog, IDC_CRC32);
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(crc, BM_GETCHECK, 0, 0));
  SendMessageW(crc, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(BST_CHECKED, SendMessageW(crc, BM_GETCHECK, 0, 0));
  SendDlgItemMessageW(dialog, IDC_CRC32, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageW(dialog, IDC_CRC32, BM_GETCHECK, 0, 0));

  HWND list = GetDlgItem(dialog, IDC_EXCLUDE_LIST);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(0, SendMessageW(list, LB_GETCOUNT, 0, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETCURSEL, 0, 0));
  // The list is not sorted: items stay in the order they were added.
  EXPECT_EQ(0, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L".TVK")));
  EXPECT_EQ(1, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"\\TEMP")));
  EXPECT_EQ(2, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"\\A")));
  EXPECT_EQ(3, SendMessageW(list, LB_GETCOUNT, 0, 0));
  WCHAR text[64];
  EXPECT_EQ(5, SendMessageW(list, LB_GETTEXTLEN, 1, 0));
  EXPECT_EQ(5, SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)));
  EXPECT_STREQ(L"\\TEMP", text);
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text)));

  EXPECT_EQ(1, SendMessageW(list, LB_SETCURSEL, 1, 0));
  EXPECT_EQ(1, SendMessageW(list, LB_GETCURSEL, 0, 0));
  // Deleting answers the number of items left; an index past the end is
  // an error.
  EXPECT_EQ(2, SendMessageW(list, LB_DELETESTRING, 0, 0));
  EXPECT_EQ(LB_ERR, SendMessageW(list, LB_DELETESTRING, 2, 0));
  SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(L"\\A", text);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(0, SendMessageW(list, LB_GETCOUNT, 0, 0));

  // The edit boxes hold what is set, up to the limit set for typing.
  EXPECT_TRUE(SetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, L"\\temp"));
  EXPECT_EQ(5u, GetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, text, 64));
  EXPECT_STREQ(L"\\temp", text);
  EXPECT_TRUE(DestroyWindow(dialog));
}

}  // namespace
