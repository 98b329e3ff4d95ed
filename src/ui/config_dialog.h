/*
 * config_dialog.h - the "tovik configuration" dialog (IDD_CONFIG).
 *
 * The dialog edits the global settings record in place: every check box
 * click changes its flag at once, every pattern added or deleted changes
 * the exclusion list at once. Its buttons decide the outcome: "Save and
 * run" saves and asks for the snapshot, "Save" only saves, "Cancel" (and
 * closing the dialog) saves nothing; the run flags dialogCancelled and
 * runRequested tell which.
 */
#ifndef TOVIK_CONFIG_DIALOG_H
#define TOVIK_CONFIG_DIALOG_H

#include "platform.h"

/* Characters the exclusion edit box takes: what one slot of the exclusion
 * list holds. */
#define EXCLUDE_EDIT_LIMIT 53

/* The dialog procedure: handles WM_INITDIALOG and WM_COMMAND, returns
 * FALSE for every other message. */
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Empties the pattern list box and lists every pattern again, each with its
 * index in the exclusion list as item data. */
void RefillExcludeList(HWND dialog);

#endif /* TOVIK_CONFIG_DIALOG_H */
