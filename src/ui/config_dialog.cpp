/*
 * config_dialog.cpp - the configuration dialog procedure.
 */
#include "ui/config_dialog.h"

#include "resource.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

/* Characters read from the exclusion edit box, with the terminator. */
#define EXCLUDE_TEXT_READ 256

/* Adds every pattern to the list box, item i carrying i as its data. */
static void ListPatterns(HWND list) {
  int i;
  for (i = 0; i < Settings.excludes.count; ++i) {
    SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)Settings.excludes.slots[i]);
    SendMessageW(list, LB_SETITEMDATA, (WPARAM)i, (LPARAM)i);
  }
}

void RefillExcludeList(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_EXCLUDE_LIST);
  /* Without the list box every message would answer 0, never LB_ERR. */
  if (list == NULL) return;
  while (SendMessageW(list, LB_DELETESTRING, 0, 0) != LB_ERR) {
  }
  ListPatterns(list);
}

static void InitDialog(HWND dialog) {
  int i;
  for (i = 0; i < SETTINGS_FLAG_COUNT; ++i)
    if (*SettingsFlags[i].flag == 1)
      SendDlgItemMessageW(dialog, SettingsFlags[i].box, BM_SETCHECK, BST_CHECKED, 0);
  SetDlgItemTextW(dialog, IDC_DEFAULT_PATH, Settings.defaultPath);
  /* What the user types always fits a slot of the exclusion list. */
  SendDlgItemMessageW(dialog, IDC_EXCLUDE_EDIT, EM_LIMITTEXT, EXCLUDE_EDIT_LIMIT, 0);
  ListPatterns(GetDlgItem(dialog, IDC_EXCLUDE_LIST));
  UpdateWindow(dialog);
  SetFocus(GetDlgItem(dialog, IDC_SAVE));
}

static void AddPattern(HWND dialog) {
  static WCHAR text[EXCLUDE_TEXT_READ];
  if (Settings.excludes.count >= MAX_EXCLUDES) return;
  memset(text, 0, sizeof(text));
  GetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, text, EXCLUDE_TEXT_READ - 1);
  if (text[0] == 0) return;
  /* Kept as typed; a refused pattern stays in the edit box to be mended. */
  if (!ExcludeAdd(text)) return;
  SetDlgItemTextW(dialog, IDC_EXCLUDE_EDIT, L"");
  RefillExcludeList(dialog);
}

static void DeletePattern(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_EXCLUDE_LIST);
  LRESULT selection;
  LRESULT data;
  if (list == NULL) return;
  selection = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (selection == LB_ERR || Settings.excludes.count == 0) return;
  data = SendMessageW(list, LB_GETITEMDATA, (WPARAM)selection, 0);
  if (data == LB_ERR) return;
  ExcludeRemove((int)data);
  RefillExcludeList(dialog);
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  int id;
  int i;

  (void)lParam;
  if (message == WM_INITDIALOG) {
    InitDialog(dialog);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;

  id = LOWORD(wParam);
  switch (id) {
    case IDOK:
      Settings.runRequested = 1;
      [[fallthrough]]; /* saved as with "Save" */
    case IDC_SAVE:
      /* The default path is taken from its box only now. */
      GetDlgItemTextW(dialog, IDC_DEFAULT_PATH, Settings.defaultPath, DEFAULT_PATH_CHARS - 1);
      SaveSettings(Settings.configPath);
      Settings.dialogCancelled = 0;
      [[fallthrough]]; /* and the dialog ends */
    case IDCANCEL:
      EndDialog(dialog, id);
      return TRUE;
    case IDC_EXCLUDE_ADD:
      AddPattern(dialog);
      return TRUE;
    case IDC_EXCLUDE_DELETE:
      DeletePattern(dialog);
      return TRUE;
    default:
      break;
  }
  for (i = 0; i < SETTINGS_FLAG_COUNT; ++i) {
    if (SettingsFlags[i].box != id) continue;
    *SettingsFlags[i].flag =
        SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    return TRUE;
  }
  return FALSE;
}
