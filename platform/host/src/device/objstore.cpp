// objstore.cpp - the object store: CeFindFirstDatabase, CeFindNextDatabase,
// CeOidGetInfo, read from databases.txt of the device folder.
//
// databases.txt is UTF-8 text, one object a line, fields separated by tabs:
//
//   database  NAME  SIZE  RECORDS  MODIFIED  [TYPE]
//   file      NAME  SIZE  MODIFIED
//   directory NAME
//   record    [NAME]
//   unreadable [NAME]
//
// MODIFIED is "YYYY-MM-DD HH:MM:SS" in UTC. SIZE is a 32-bit unsigned
// number, RECORDS a 16-bit one, TYPE the database's type (a 32-bit number,
// decimal or 0x-hex; 0 when left out). A database name has at most 31
// characters (the device's limit), a file or directory name at most 259.
// Lines starting with '#' and blank lines are passed over; a malformed line
// is reported and skipped. Objects are enumerated in file order.
//
// Two kinds exist for trying out the callers' handling of what they cannot
// list: "record" is an object of type OBJTYPE_RECORD (its parent is the
// database above it), and "unreadable" an object that the enumeration
// returns but whose information CeOidGetInfo cannot read - as with an object
// deleted between the enumeration and the read. The NAME of both is only a
// note for the reader of the file.
//
// Without databases.txt (or when it is not a readable regular file) the
// device has no object store and no enumeration can be started.
#include <cctype>
#include <string>
#include <vector>

#include "internal.h"
#include "platform_testing.h"

namespace {

const char kFileName[] = "databases.txt";

// Object identifiers are a base plus the object's index in the file, so that
// an identifier is never 0 and never looks like a small count.
const CEOID kFirstOid = 0x00010001;

// The type value of an object that cannot be read.
const WORD kUnreadable = 0xFFFF;

struct StoredObject {
  WORD type = OBJTYPE_INVALID;  // OBJTYPE_*, or kUnreadable
  std::wstring name;            // database, file or directory name
  DWORD size = 0;               // bytes
  WORD records = 0;             // database records
  DWORD databaseType = 0;       // the database's own type value
  FILETIME modified{};          // last change, UTC
  CEOID parent = 0;             // a record's database
};

struct ObjectStore {
  bool present = false;  // databases.txt exists
  std::vector<StoredObject> objects;
};

// Open enumerations, for tests that check that callers close theirs.
int g_openEnumerations = 0;

struct DatabaseEnumeration : host::KernelObject {
  DWORD type = 0;   // 0 = every object, else databases of this type only
  size_t next = 0;  // index of the next object to look at
  DatabaseEnumeration() { ++g_openEnumerations; }
  ~DatabaseEnumeration() override { --g_openEnumerations; }
};

// ---------------------------------------------------------------------------
// Reading databases.txt
// ---------------------------------------------------------------------------

std::string Trim(const std::string &text) {
  size_t start = text.find_first_not_of(" ");
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(" ");
  return text.substr(start, end - start + 1);
}

std::vector<std::string> SplitTabs(const std::string &line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

// A decimal number of at most `maximum`; false for anything else (signs,
// blanks inside, overflow).
bool ParseUnsigned(const std::string &field, uint64_t maximum, uint64_t *value) {
  std::string text = Trim(field);
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
    if (result > maximum) return false;
  }
  *value = result;
  return true;
}

// A database type: decimal, or hexadecimal after "0x", of at most 32 bits.
bool ParseType(const std::string &field, DWORD *value) {
  std::string text = Trim(field);
  uint64_t result = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 10) return false;
    for (size_t i = 2; i < text.size(); ++i) {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      result = result * 16 + static_cast<uint64_t>(digit);
    }
  } else if (!ParseUnsigned(text, 0xFFFFFFFFu, &result)) {
    return false;
  }
  *value = static_cast<DWORD>(result);
  return true;
}

// "YYYY-MM-DD HH:MM:SS" (UTC) to a FILETIME; false when the form or the date
// is wrong.
bool ParseTime(const std::string &field, FILETIME *time) {
  std::string text = Trim(field);
  static const char kForm[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != sizeof kForm - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return false;
  }
  auto number = [&text](size_t at, size_t digits) {
    WORD n = 0;
    for (size_t i = 0; i < digits; ++i) n = static_cast<WORD>(n * 10 + (text[at + i] - '0'));
    return n;
  };
  SYSTEMTIME st{};
  st.wYear = number(0, 4);
  st.wMonth = number(5, 2);
  st.wDay = number(8, 2);
  st.wHour = number(11, 2);
  st.wMinute = number(14, 2);
  st.wSecond = number(17, 2);
  return SystemTimeToFileTime(&st, time) != FALSE;  // checks the calendar
}

// A name field: not empty, at most `maximum` characters.
bool ParseName(const std::string &field, size_t maximum, std::wstring *name, std::string *problem) {
  *name = host::HostNameToWide(field);
  if (name->find(L'\0') != std::wstring::npos) {
    *problem = "name holds a NUL character";
    return false;
  }
  if (name->empty()) {
    *problem = "empty name";
    return false;
  }
  if (name->size() > maximum) {
    *problem = "name longer than " + std::to_string(maximum) + " characters";
    return false;
  }
  return true;
}

// One line to an object. False, with the reason in *problem, when the line
// is malformed.
bool ParseLine(const std::string &line, StoredObject *object, std::string *problem) {
  std::vector<std::string> f = SplitTabs(line);
  const std::string kind = Trim(f[0]);
  uint64_t number = 0;
  auto fields = [&](size_t least, size_t most) {
    if (f.size() >= least && f.size() <= most) return true;
    *problem = "a " + kind + " line has " + std::to_string(least - 1) +
               (most > least ? " or " + std::to_string(most - 1) : std::string()) +
               " fields after its kind, not " + std::to_string(f.size() - 1);
    return false;
  };
  if (kind == "database" || kind == "file") {
    bool database = kind == "database";
    if (!fields(database ? 5 : 4, database ? 6 : 4)) return false;
    object->type = database ? OBJTYPE_DATABASE : OBJTYPE_FILE;
    size_t at = 1;
    size_t longest = database ? CEDB_MAXDBASENAMELEN - 1 : MAX_PATH - 1;
    if (!ParseName(f[at++], longest, &object->name, problem)) return false;
    if (!ParseUnsigned(f[at++], 0xFFFFFFFFu, &number)) {
      *problem = "size is not a number from 0 to 4294967295";
      return false;
    }
    object->size = static_cast<DWORD>(number);
    if (database && !ParseUnsigned(f[at++], 0xFFFF, &number)) {
      *problem = "record count is not a number from 0 to 65535";
      return false;
    }
    if (database) object->records = static_cast<WORD>(number);
    if (!ParseTime(f[at++], &object->modified)) {
      *problem = "modified time is not a date and time YYYY-MM-DD HH:MM:SS";
      return false;
    }
    if (at < f.size() && !ParseType(f[at], &object->databaseType)) {
      *problem = "database type is not a 32-bit number";
      return false;
    }
    return true;
  }
  if (kind == "directory") {
    if (!fields(2, 2)) return false;
    object->type = OBJTYPE_DIRECTORY;
    return ParseName(f[1], MAX_PATH - 1, &object->name, problem);
  }
  if (kind == "record" || kind == "unreadable") {
    if (!fields(1, 2)) return false;
    object->type = kind == "record" ? OBJTYPE_RECORD : kUnreadable;
    return true;
  }
  *problem = "unknown object kind \"" + kind + "\"";
  return false;
}

// Reads databases.txt into the store; without the file there is no store.
void LoadStore(host::DeviceText *text, ObjectStore *store) {
  if (!text) return;
  store->present = true;
  host::DeviceLines lines(text->bytes);
  std::string_view view;
  CEOID lastDatabase = 0;
  while (lines.Next(&view)) {
    std::string line(view);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    StoredObject object;
    std::string problem;
    if (!ParseLine(line, &object, &problem)) {
      host::ReportMalformed(text->name, lines.number(), problem);
      continue;
    }
    if (store->objects.size() >= 0xFFFFFFFFu - kFirstOid) {  // identifiers would wrap to 0
      host::ReportMalformed(text->name, lines.number(), "too many objects; the rest is left out");
      break;
    }
    CEOID oid = kFirstOid + static_cast<CEOID>(store->objects.size());
    if (object.type == OBJTYPE_DATABASE) lastDatabase = oid;
    if (object.type == OBJTYPE_RECORD) object.parent = lastDatabase;
    store->objects.push_back(std::move(object));
  }
}

// The object store, read from the device folder on first use; a change of
// device forgets it.
ObjectStore &LoadedStore() {
  static host::DeviceFile<ObjectStore> file(kFileName, LoadStore);
  return file.Get();
}

void CopyName(const std::wstring &name, WCHAR *out, size_t capacity) {
  size_t n = name.size() < capacity ? name.size() : capacity - 1;
  std::wmemcpy(out, name.data(), n);
  out[n] = 0;
}

}  // namespace

// Starts an enumeration of the object store: every object when
// `databaseType` is 0, else the databases of that type. Returns the
// enumeration's handle (closed with CloseHandle), or INVALID_HANDLE_VALUE
// when the device has no object store.
HANDLE CeFindFirstDatabase(DWORD databaseType) {
  if (!LoadedStore().present) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto *enumeration = new DatabaseEnumeration;
  enumeration->type = databaseType;
  return host::RegisterHandle(enumeration);
}

// The identifier of the enumeration's next object, or 0 at the end
// (ERROR_NO_MORE_ITEMS) or for a handle that is not an open enumeration
// (ERROR_INVALID_HANDLE).
CEOID CeFindNextDatabase(HANDLE handle) {
  auto *enumeration = host::LookupHandleAs<DatabaseEnumeration>(handle);
  if (!enumeration) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const std::vector<StoredObject> &objects = LoadedStore().objects;
  while (enumeration->next < objects.size()) {
    size_t index = enumeration->next++;
    const StoredObject &object = objects[index];
    if (enumeration->type != 0 &&
        (object.type != OBJTYPE_DATABASE || object.databaseType != enumeration->type))
      continue;
    return kFirstOid + static_cast<CEOID>(index);
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return 0;
}

// Fills `info` with the object's type and the members of its kind. Returns
// FALSE (ERROR_INVALID_PARAMETER) for an identifier the store does not hold
// or an object that cannot be read; `info` is then left as it was.
BOOL CeOidGetInfo(CEOID oid, CEOIDINFO *info) {
  if (DWORD fault = host::FaultHit(host::Fault::kCeOidGetInfo)) {
    SetLastError(fault);
    return FALSE;
  }
  const std::vector<StoredObject> &objects = LoadedStore().objects;
  if (!info || oid < kFirstOid || oid - kFirstOid >= objects.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const StoredObject &object = objects[oid - kFirstOid];
  if (object.type == kUnreadable) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memset(info, 0, sizeof *info);
  info->wObjType = object.type;
  switch (object.type) {
    case OBJTYPE_FILE:
      info->infFile.dwAttributes = FILE_ATTRIBUTE_NORMAL;
      CopyName(object.name, info->infFile.szFileName, MAX_PATH);
      info->infFile.ftLastChanged = object.modified;
      info->infFile.dwLength = object.size;
      break;
    case OBJTYPE_DIRECTORY:
      info->infDirectory.dwAttributes = FILE_ATTRIBUTE_DIRECTORY;
      CopyName(object.name, info->infDirectory.szDirName, MAX_PATH);
      break;
    case OBJTYPE_DATABASE:
      CopyName(object.name, info->infDatabase.szDbaseName, CEDB_MAXDBASENAMELEN);
      info->infDatabase.dwDbaseType = object.databaseType;
      info->infDatabase.wNumRecords = object.records;
      info->infDatabase.dwSize = object.size;
      info->infDatabase.ftLastModified = object.modified;
      break;
    case OBJTYPE_RECORD:
      info->infRecord.oidParent = object.parent;
      break;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

int PlatformOpenDatabaseEnumerations(void) { return g_openEnumerations; }
