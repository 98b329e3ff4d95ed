// Directory searches on the device folder: names, wildcards, attributes,
// times and sizes, ROM files, errors, and the host's awkward entries.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "file_times.h"
#include "internal.h"
#include "platform.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

using Entries = std::map<std::wstring, WIN32_FIND_DATAW>;

// Every entry a search for `pattern` returns, by name; *error is the last
// error after the search failed or ended.
Entries Search(const std::wstring &pattern, DWORD *error = nullptr) {
  Entries entries;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return entries;
  }
  do {
    EXPECT_EQ(0u, entries.count(data.cFileName)) << "listed twice";
    entries[data.cFileName] = data;
  } while (FindNextFileW(search, &data));
  if (error) *error = GetLastError();
  EXPECT_TRUE(FindClose(search));
  return entries;
}

uint64_t Size(const WIN32_FIND_DATAW &data) {
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool SameTime(const FILETIME &a, const FILETIME &b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

class Find : public ::testing::Test {
 protected:
  TestDevice device;
  bool root = ::geteuid() == 0;  // permission bits do not stop root
};

TEST_F(Find, ListsEntriesWithTheirAttributesTimesAndSizes) {
  device.write("root/Dir/a.txt", "abc");
  device.mkdir("root/Dir/Sub");
  device.write("root/Dir/big.bin", "");
  ASSERT_EQ(0, ::truncate(device.host("Dir/big.bin").c_str(), 5000000000LL));  // sparse
  struct timespec times[2] = {{1000000000, 500}, {1100000000, 700}};           // access, write
  ASSERT_EQ(0, ::utimensat(AT_FDCWD, device.host("Dir/a.txt").c_str(), times, 0));

  DWORD error = 0;
  Entries entries = Search(L"\\dir\\*.*", &error);  // the folder's case does not matter
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
  ASSERT_EQ(3u, entries.size());  // no "." or ".."
  const WIN32_FIND_DATAW &a = entries[L"a.txt"];
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), a.dwFileAttributes);
  EXPECT_EQ(3u, Size(a));
  EXPECT_TRUE(SameTime(host::FileTimeFromUnix(1000000000, 500), a.ftLastAccessTime));
  EXPECT_TRUE(SameTime(host::FileTimeFromUnix(1100000000, 700), a.ftLastWriteTime));
  testing_device::HostTime created = testing_device::CreationTime(device.host("Dir/a.txt"));
  EXPECT_TRUE(
      SameTime(host::FileTimeFromUnix(created.seconds, created.nanoseconds), a.ftCreationTime));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), entries[L"Sub"].dwFileAttributes);
  EXPECT_EQ(0u, Size(entries[L"Sub"]));
  EXPECT_EQ(1u, entries[L"big.bin"].nFileSizeHigh);
  EXPECT_EQ(5000000000u, Size(entries[L"big.bin"]));
}

TEST_F(Find, WildcardsMatchWithoutRegardToCase) {
  for (const char *name : {"one.TXT", "two.txt", "three.log", "noext"})
    device.write(std::string("root/") + name, "x");
  EXPECT_EQ(4u, Search(L"\\*.*").size());  // "*.*" also matches a name without a dot
  EXPECT_EQ(4u, Search(L"*").size());
  EXPECT_EQ(2u, Search(L"\\*.txt").size());
  Entries one = Search(L"/?WO.TXT");
  ASSERT_EQ(1u, one.size());
  EXPECT_EQ(L"two.txt", one.begin()->first);  // the name as the host keeps it
  EXPECT_EQ(1u, Search(L"\\NOEXT").size());
  DWORD error = 0;
  EXPECT_TRUE(Search(L"\\*.doc", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(Find, FailuresGiveTheDevicesErrors) {
  DWORD error = 0;
  EXPECT_TRUE(Search(L"\\missing\\*.*", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
  device.write("root/file.txt", "x");
  EXPECT_TRUE(Search(L"\\file.txt\\*.*", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
  device.mkdir("root/empty");
  EXPECT_TRUE(Search(L"\\empty\\*.*", &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);

  // A pattern of MAX_PATH characters or more is refused, one less is searched.
  std::string folder = "root/" + std::string(250, 'p');
  device.write(folder + "/x", "x");
  std::wstring base = L"\\" + std::wstring(250, L'p');
  EXPECT_EQ(1u, Search(base + L"\\" + std::wstring(MAX_PATH - 2 - base.size(), L'*')).size());
  EXPECT_TRUE(
      Search(base + L"\\" + std::wstring(MAX_PATH - 1 - base.size(), L'*'), &error).empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), error);

  WIN32_FIND_DATAW data;
  EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));

  if (!root) {
    device.write("root/locked/inside.txt", "x");
    ::chmod(device.host("locked").c_str(), 0);
    EXPECT_TRUE(Search(L"\\locked\\*.*", &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
    ::chmod(device.host("locked").c_str(), 0100);  // searchable, not readable
    EXPECT_TRUE(Search(L"\\locked\\*.*", &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
  }
}

TEST_F(Find, ReadOnlyAndRomFiles) {
  device.write("root/Windows/coredll.dll", "x");
  device.write("root/Windows/tahoma.ttf", "x");
  device.write("root/Windows/static.dat", "x");
  device.write("root/Windows/plain.txt", "x");
  device.write("root/Windows/locked.txt", "x");
  ::chmod(device.host("Windows/locked.txt").c_str(), 0444);
  device.write("rom.txt",
               "\xEF\xBB\xBF# ROM files\n"
               "\\WINDOWS\\COREDLL.DLL\tINROM ROMMODULE\r\n"
               "/windows/tahoma.ttf\n"
               "\n"
               "\\Windows\\static.dat\trom,ROMSTATICREF\n"  // unknown name: skipped
               "\\Windows\\..\\plain.txt\n"                 // "..": skipped
               "\\Windows\\static.dat\tromstaticref\n");
  testing::internal::CaptureStderr();
  Entries entries = Search(L"\\Windows\\*.*");
  std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, reported.find("rom.txt:5: ")) << reported;
  EXPECT_NE(std::string::npos, reported.find("rom.txt:6: ")) << reported;

  const DWORD ro = FILE_ATTRIBUTE_READONLY;
  EXPECT_EQ(ro | FILE_ATTRIBUTE_INROM | FILE_ATTRIBUTE_ROMMODULE,
            entries[L"coredll.dll"].dwFileAttributes);
  EXPECT_EQ(ro | FILE_ATTRIBUTE_INROM, entries[L"tahoma.ttf"].dwFileAttributes);
  EXPECT_EQ(ro | FILE_ATTRIBUTE_ROMSTATICREF, entries[L"static.dat"].dwFileAttributes);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), entries[L"plain.txt"].dwFileAttributes);
  EXPECT_EQ(root ? FILE_ATTRIBUTE_NORMAL : ro, entries[L"locked.txt"].dwFileAttributes);
  EXPECT_EQ(ro | FILE_ATTRIBUTE_INROM | FILE_ATTRIBUTE_ROMMODULE,
            GetFileAttributesW(L"\\windows\\coredll.dll"));

  // rom.txt is read once; a new device forgets it.
  device.write("rom.txt", "");
  EXPECT_NE(0u, GetFileAttributesW(L"\\Windows\\tahoma.ttf") & FILE_ATTRIBUTE_INROM);
  host::ResetDevice();
  EXPECT_EQ(0u, GetFileAttributesW(L"\\Windows\\tahoma.ttf") & FILE_ATTRIBUTE_INROM);
}

TEST_F(Find, LinksAreListedButFoldersBehindThemNeverEntered) {
  device.write("root/a/b/file.txt", "abc");
  device.write("root/target/t.txt", "x");
  struct Link {
    const char *name, *target;
    uint64_t size;  // what the entry shows: a file's size, else 0
  };
  const Link links[] = {
      {"up", "..", 0},                 // folders, wherever they are, are not entered
      {"other", "../../target", 0},    //
      {"rooted", "/a/b/file.txt", 3},  // an absolute target starts at root/
      {"alias.txt", "file.txt", 3},    // a file: its target's size
      {"dangling", "nowhere", 0},      // links that cannot be followed: the link itself
      {"self", "self", 0},             //
      {"ping", "pong", 0},             //
      {"pong", "ping", 0},             //
      {"host", "/etc/hostname", 0},    // would be the host's: nothing there inside
  };
  for (const Link &link : links)
    ASSERT_EQ(0, ::symlink(link.target, device.host(std::string("a/b/") + link.name).c_str()));
  for (bool byHand : {false, true}) {
    PlatformResolvePathsByHand(byHand ? 1 : 0);
    Entries entries = Search(L"\\a\\b\\*.*");
    ASSERT_EQ(1 + sizeof links / sizeof links[0], entries.size());
    for (const Link &link : links) {
      std::wstring name = host::HostNameToWide(link.name);
      EXPECT_EQ(0u, entries[name].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) << link.name;
      EXPECT_EQ(link.size, Size(entries[name])) << link.name;
    }
    // The folder itself is searched through a link like any path.
    EXPECT_EQ(1u, Search(L"\\a\\b\\other\\*.*").size());
  }
  PlatformResolvePathsByHand(0);
}

TEST_F(Find, LinksIntoAFolderTheUserCannotSearchAreListed) {
  // Permission bits do not stop the superuser: the search runs in a child
  // that has become an ordinary user, and says by its exit status what it saw.
  device.write("root/shut/secret.txt", "abc");
  ASSERT_EQ(0, ::symlink("../shut/secret.txt", device.host("link.txt").c_str()));
  ::chmod(device.folder().c_str(), 0755);
  ::chmod(device.host("").c_str(), 0755);
  ::chmod(device.host("shut").c_str(), 0700);
  pid_t child = ::fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
    if (::geteuid() == 0) ::_exit(77);
    host::ResetDevice();
    Entries entries = Search(L"\\*.*");
    bool listed = entries.count(L"link.txt") == 1 && Size(entries[L"link.txt"]) == 0;
    ::_exit(entries.size() == 2 && listed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot run as an ordinary user here";
  EXPECT_EQ(0, WEXITSTATUS(status)) << "the link was dropped or shown with its target's size";
}

// The pauses are not waits for a result: they let the folder's time move on,
// so that a search that kept entries while the folder's time stood still
// would be caught. A busy machine only makes them longer.
TEST_F(Find, RepeatedSearchSeesEveryChangeToTheFolder) {
  device.write("root/Dir/a.txt", "x");
  ::usleep(100000);
  EXPECT_EQ(1u, Search(L"\\Dir\\*.*").size());
  device.write("root/Dir/a.txt", "longer");  // an entry's own change shows at once
  EXPECT_EQ(6u, Size(Search(L"\\Dir\\*.*")[L"a.txt"]));
  device.write("root/Dir/b.txt", "x");
  EXPECT_EQ(2u, Search(L"\\Dir\\*.*").size());
  ::usleep(100000);
  EXPECT_EQ(2u, Search(L"\\Dir\\*.*").size());
  ::unlink(device.host("Dir/a.txt").c_str());
  Entries left = Search(L"\\Dir\\*.*");
  ASSERT_EQ(1u, left.size());
  EXPECT_EQ(L"b.txt", left.begin()->first);
  EXPECT_EQ(0u, Search(L"\\Dir\\*.log").size());  // another wildcard is searched afresh
}

TEST_F(Find, SpecialFilesAndOddNamesAreListedWithoutBeingOpened) {
  device.mkdir("root/odd");
  ASSERT_EQ(0, ::mkfifo(device.host("odd/fifo").c_str(), 0644));
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = device.host("odd/sock");
  if (socketPath.size() < sizeof address.sun_path) {
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(0, ::bind(sock, reinterpret_cast<struct sockaddr *>(&address), sizeof address));
  }
  ::close(sock);
  device.write("root/odd/bad\xFF\xFEname", "x");  // not UTF-8
  device.write("root/odd/\xD0\xB6.txt", "x");     // Cyrillic
  device.write("root/odd/smile\xF0\x9F\x98\x80.txt", "x");
  device.write("root/odd/a\\b:c\rd\ne", "abc");  // characters a device name cannot hold
  device.write("root/odd/dir\\bs/inner.txt", "x");
  Entries entries = Search(L"\\odd\\*.*");
  EXPECT_EQ(0u, Size(entries[L"fifo"]));
  EXPECT_EQ(0u, entries[L"fifo"].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  if (socketPath.size() < sizeof address.sun_path) {
    EXPECT_EQ(1u, entries.count(L"sock"));
  }
  EXPECT_EQ(1u, entries.count(L"bad\xFFFD\xFFFDname"));
  EXPECT_EQ(1u, entries.count(L"\x0436.txt"));
  // UTF-16 as on the device: a surrogate pair.
  EXPECT_EQ(1u, entries.count(L"smile\xD83D\xDE00.txt"));
  // As Windows' own Linux subsystem shows them, and found again by that name.
  std::wstring odd =
      L"a\xF05C"
      L"b\xF03A"
      L"c\xF00D"
      L"d\xF00A"
      L"e";
  ASSERT_EQ(1u, entries.count(odd));
  EXPECT_EQ(3u, Size(entries[odd]));
  ce_FILE *file = _wfopen((L"\\ODD\\" + odd).c_str(), L"rb");
  ASSERT_NE(nullptr, file);
  ce_fclose(file);
  EXPECT_EQ(1u, Search(L"\\odd\\dir\xF05C"
                       L"bs\\*.*")
                    .count(L"inner.txt"));
}

}  // namespace
