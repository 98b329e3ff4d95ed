/*
 * ceobjstore.h - the object store's types and constants as Windows CE
 * declares them, shared by every platform header: desktop Windows has no
 * object store, and the host layer stands one in. The platform header that
 * includes this declares the object store calls themselves.
 */
#ifndef TOVIK_CEOBJSTORE_H
#define TOVIK_CEOBJSTORE_H

typedef DWORD CEOID;
typedef CEOID *PCEOID;

#define OBJTYPE_INVALID 0
#define OBJTYPE_FILE 1
#define OBJTYPE_DIRECTORY 2
#define OBJTYPE_DATABASE 3
#define OBJTYPE_RECORD 4

#define CEDB_MAXDBASENAMELEN 32
#define CEDB_MAXSORTORDER 4

typedef struct _SORTORDERSPEC {
  DWORD propid;
  DWORD dwFlags;
} SORTORDERSPEC;

typedef struct _CEFILEINFO {
  DWORD dwAttributes;
  CEOID oidParent;
  WCHAR szFileName[MAX_PATH];
  FILETIME ftLastChanged;
  DWORD dwLength;
} CEFILEINFO;

typedef struct _CEDIRINFO {
  DWORD dwAttributes;
  CEOID oidParent;
  WCHAR szDirName[MAX_PATH];
} CEDIRINFO;

typedef struct _CEDBASEINFO {
  DWORD dwFlags;
  WCHAR szDbaseName[CEDB_MAXDBASENAMELEN];
  DWORD dwDbaseType;
  WORD wNumRecords;
  WORD wNumSortOrder;
  DWORD dwSize;
  FILETIME ftLastModified;
  SORTORDERSPEC rgSortSpecs[CEDB_MAXSORTORDER];
} CEDBASEINFO;

typedef struct _CERECORDINFO {
  CEOID oidParent;
} CERECORDINFO;

typedef struct _CEOIDINFO {
  WORD wObjType;
  WORD wPad;
  union {
    CEFILEINFO infFile;
    CEDIRINFO infDirectory;
    CEDBASEINFO infDatabase;
    CERECORDINFO infRecord;
  };
} CEOIDINFO, *PCEOIDINFO;

#endif /* TOVIK_CEOBJSTORE_H */
