/*
 * winmain.cpp - the program's spine: start-up, the snapshot file's name, the
 * progress window and the order of the sections.
 */
#include "output/output.h"
#include "resource.h"
#include "run/run.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "snapshot/databases.h"
#include "snapshot/files.h"
#include "snapshot/registry.h"
#include "ui/config_dialog.h"

static HINSTANCE g_instance;                  /* the program's instance, for its dialogs */
static WCHAR g_outputPath[OUTPUT_PATH_CHARS]; /* full path of the snapshot file */

/* The dialog template `id` from the program's resources, or null. */
static LPCDLGTEMPLATEW LoadDialogTemplate(HINSTANCE instance, int id) {
  HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_DIALOG);
  HGLOBAL data;
  if (resource == NULL) return NULL;
  data = LoadResource(instance, resource);
  if (data == NULL) return NULL;
  return (LPCDLGTEMPLATEW)LockResource(data);
}

/* A message box with no owner, an empty caption and the OK button. */
static void ShowError(LPCWSTR text) { MessageBoxW(NULL, text, L"", MB_OK); }

/*
 * The settings come from "\tovik.cfg" in the documents folder; when it
 * cannot be opened, a default one is written holding every flag on and the
 * pattern ".TVK", which keeps earlier snapshots out of the listing. With
 * Setup on, the configuration dialog decides: a dialog that cannot be shown
 * (no terminal on a host) leaves dialogCancelled set, so nothing is run.
 */
int PrepareRun(HINSTANCE instance) {
  LPCDLGTEMPLATEW configTemplate;

  Settings.defaultPath[0] = 0;
  SHGetSpecialFolderPath(NULL, Settings.configPath, CSIDL_PERSONAL, TRUE);
  wcscat(Settings.configPath, L"\\tovik.cfg");
  if (!LoadSettings(Settings.configPath)) {
    ExcludeAdd(L".TVK");
    SaveSettings(Settings.configPath);
  }
  if (Settings.setup) {
    configTemplate = LoadDialogTemplate(instance, IDD_CONFIG);
    if (configTemplate != NULL)
      DialogBoxIndirectParamW(instance, configTemplate, NULL, ConfigDialogProc, 0);
    if (Settings.dialogCancelled == 1) return -1;
    return Settings.runRequested;
  }
  Settings.dialogCancelled = 0;
  Settings.runRequested = 1;
  return 1;
}

int BuildOutputPath(LPCWSTR commandLine, WCHAR *path) {
  SYSTEMTIME now;
  WCHAR date[12];
  WCHAR time[12];
  size_t length;

  if (commandLine != NULL && commandLine[0] != 0) {
    if (wcslen(commandLine) >= OUTPUT_PATH_CHARS) return 0;
    wcscpy(path, commandLine);
    return 1;
  }
  GetLocalTime(&now);
  date[0] = 0;
  time[0] = 0;
  GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"ddMMyy", date, 12);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"HHmmss", time, 12);
  length = wcslen(Settings.defaultPath) + wcslen(date) + wcslen(time) + 4;
  if (length >= OUTPUT_PATH_CHARS) return 0;
  wcscpy(path, Settings.defaultPath);
  wcscat(path, date);
  wcscat(path, time);
  wcscat(path, L".tvk");
  return 1;
}

/* Sets one text of the progress window and repaints it. */
static void ShowProgress(HWND progress, int id, LPCWSTR text) {
  SetDlgItemTextW(progress, id, text);
  UpdateWindow(progress);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine,
                   int showCommand) {
  static const HKEY roots[3] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT};
  static const LPCWSTR rootNames[3] = {L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                       L"HKEY_CLASSES_ROOT"};
  LPCDLGTEMPLATEW progressTemplate;
  HWND progress;
  int writeFailed;
  int i;

  (void)previousInstance;
  (void)showCommand;
  g_instance = instance;
  if (PrepareRun(instance) != 1) return 0;

  /* A path that does not fit is refused, never cut. */
  if (!BuildOutputPath(commandLine, g_outputPath) || !OutOpen(g_outputPath, L"w")) {
    ShowError(L"File creating error");
    return 1;
  }

  progressTemplate = LoadDialogTemplate(g_instance, IDD_PROGRESS);
  progress = progressTemplate == NULL
                 ? NULL
                 : CreateDialogIndirectParamW(g_instance, progressTemplate, NULL, NULL, 0);
  ShowWindow(progress, SW_SHOW);
  SetForegroundWindow(progress);
  SetDlgItemTextW(progress, IDC_OUTPUT, g_outputPath);

  if (Settings.registry) {
    ShowProgress(progress, IDC_SECTION, L"Registry");
    for (i = 0; i < 3; ++i) {
      ShowProgress(progress, IDC_ITEM, rootNames[i]);
      DumpRegistryRoot(roots[i], L"");
    }
  }
  if (Settings.files) {
    ShowProgress(progress, IDC_SECTION, L"File system");
    DumpDirectory(progress, L"");
  }
  if (Settings.databases) {
    ShowProgress(progress, IDC_SECTION, L"Databases");
    OutPutString("\n[Databases]\n");
    DumpDatabases(progress);
  }

  SendMessageW(progress, WM_CLOSE, 0, 0);
  DestroyWindow(progress);

  /* A write that failed during the run is told before the file is closed;
   * one that fails in the final flush is told after it. */
  writeFailed = OutStream.failed;
  if (writeFailed) ShowError(L"File writing error");
  OutClose();
  if (OutStream.failed && !writeFailed) ShowError(L"File writing error");
  return OutStream.failed ? 1 : 0;
}
