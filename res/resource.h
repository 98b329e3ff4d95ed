/* Resource identifiers of tovik's dialogs, controls and icon. */
#ifndef TOVIK_RESOURCE_H
#define TOVIK_RESOURCE_H

#define IDI_APP 101
#define IDD_PROGRESS 104
#define IDD_CONFIG 105

/* Progress window */
#define IDC_ITEM 1001
#define IDC_OUTPUT 1002
#define IDC_SECTION 1003

/* Configuration dialog */
#define IDC_SAVE 4
#define IDC_REGISTRY 1006
#define IDC_DATABASES 1007
#define IDC_FILES 1008
#define IDC_FILEINROM 1009
#define IDC_CRC32 1010
#define IDC_DEFAULT_PATH 1011
#define IDC_EXCLUDE_EDIT 1012
#define IDC_EXCLUDE_ADD 1013
#define IDC_EXCLUDE_LIST 1014
#define IDC_EXCLUDE_DELETE 1015
#define IDC_SETUP 1016

#define IDC_STATIC (-1)

#endif /* TOVIK_RESOURCE_H */
