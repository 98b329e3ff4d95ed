// The host platform layer against the device's contracts that only a
// device folder has: its code page setting and device paths. What Windows
// has as well (time and date pictures, formatted output, upper case, code
// page conversions) is checked in tests/conformance.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <functional>
#include <string>
#include <vector>

#include "platform.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

// The conversions themselves are checked in tests/conformance against
// Windows as well; here what only a device folder has.
TEST(CodePage, UnknownCodePageFallsBackTo1252) {
  TestDevice device;
  char narrow[16];
  // An unknown code page falls back to 1252 and says so.
  device.write("device.ini", "codepage=99999\n");
  PlatformResetDevice();
  testing::internal::CaptureStderr();
  EXPECT_EQ(2, WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, narrow, 16, nullptr, nullptr));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("99999"));
  EXPECT_STREQ("\xE9", narrow);
}

// A FIFO in place of any file of the device folder is never waited on: it
// is said once and counts as absent. What is read loses its byte order mark
// and has its lines numbered in messages.
TEST(DeviceFolderFiles, AFifoOrALinkIsSaidOnceAndCountsAsAbsent) {
  TestDevice device;
  device.write("root/a.txt", "a");
  char narrow[4];
  const std::vector<std::pair<std::string, std::function<void()>>> files = {
      {"registry.reg",
       [] {
         WCHAR name[8];
         DWORD chars = 8;
         EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &chars, nullptr,
                                                      nullptr, nullptr, nullptr));
       }},
      {"databases.txt", [] { EXPECT_EQ(INVALID_HANDLE_VALUE, CeFindFirstDatabase(0)); }},
      {"rom.txt", [] { EXPECT_EQ(0u, GetFileAttributesW(L"\\a.txt") & FILE_ATTRIBUTE_INROM); }},
      {"device.ini",
       [&narrow] {
         EXPECT_EQ(2, WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, narrow, 4, nullptr, nullptr));
         EXPECT_STREQ("\xE9", narrow);  // code page 1252
       }},
  };
  // A FIFO, and a link: a link is never followed, since it could lead out
  // of the device folder, even to a file that would read well.
  device.write("elsewhere.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Host]\r\n");
  const std::string target = device.folder() + "/elsewhere.reg";
  for (bool link : {false, true}) {
    for (const auto &file : files) {
      std::string path = device.folder() + "/" + file.first;
      ASSERT_EQ(0, link ? ::symlink(target.c_str(), path.c_str()) : ::mkfifo(path.c_str(), 0600));
      PlatformResetDevice();
      testing::internal::CaptureStderr();
      file.second();
      file.second();
      EXPECT_EQ(file.first + ": not a regular file\n", testing::internal::GetCapturedStderr());
      ::unlink(path.c_str());
    }
  }

  device.write("device.ini",
               "\xEF\xBB\xBF"
               "codepage=1251\r\nnot a property\rcodepage=1251\n");
  device.write("rom.txt", "\xEF\xBB\xBF\\a.txt\n");
  PlatformResetDevice();
  testing::internal::CaptureStderr();
  EXPECT_EQ(2, WideCharToMultiByte(CP_ACP, 0, L"\u0416", -1, narrow, 4, nullptr, nullptr));
  EXPECT_STREQ("\xC6", narrow);  // code page 1251
  EXPECT_NE(0u, GetFileAttributesW(L"\\a.txt") & FILE_ATTRIBUTE_INROM);
  EXPECT_EQ("device.ini:2: expected name=value\n", testing::internal::GetCapturedStderr());
}

TEST(Files, DevicePathsAreCaseInsensitiveAndStayInsideTheDevice) {
  TestDevice device;
  device.write("root/My Documents/Note.TXT", "hello");
  HANDLE file =
      CreateFileW(L"/my documents\\note.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(5u, read);
  EXPECT_STREQ("hello", buffer);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));

  // A relative path is taken from the root.
  file = CreateFileW(L"MY DOCUMENTS\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  EXPECT_EQ(std::vector<std::string>({"Note.TXT", "new.txt"}), device.list("root/My Documents"));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(L"\\my documents\\NEW.TXT", GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\..\\escape.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\missing\\x.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  std::wstring tooLong = L"\\" + std::wstring(MAX_PATH, L'x');
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(tooLong.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(L"\\My Documents", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

// Links inside the device lead where they would if the device folder were
// "/": an absolute target starts at root/, ".." stops there. Checked with
// the kernel's resolution and with the one made by hand.
class LinksInRoot : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { PlatformResolvePathsByHand(GetParam() ? 1 : 0); }
  void TearDown() override { PlatformResolvePathsByHand(0); }
  TestDevice device;
};

TEST_P(LinksInRoot, NothingOutsideTheRootIsReadOrWritten) {
  // The host: a folder and a file beside root/, reached by absolute host
  // paths and by climbing.
  std::string outside = device.folder() + "/outside";
  std::string hostFile = outside + "/host.txt";
  device.write("outside/host.txt", "host");
  device.write("root/Data/x.txt", "data");
  device.write("root/outside/host.txt", "inner");  // where "../../outside" lands
  struct Link {
    const char *name, *target;
  };
  for (const Link &link :
       {Link{"out", outside.c_str()}, Link{"f.tvk", hostFile.c_str()}, Link{"abs", "/Data"},
        Link{"up", "../../outside"}, Link{"Data/chain", "../abs/../up/host.txt"}})
    ASSERT_EQ(0, ::symlink(link.target, device.host(link.name).c_str()));

  for (const wchar_t *path : {L"\\out\\a.tvk", L"\\f.tvk", L"\\OUT\\b.tvk"}) {
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))
        << path;
    EXPECT_EQ(nullptr, _wfopen(path, L"wb")) << path;
  }
  EXPECT_FALSE(CreateDirectoryW(L"\\out\\made", nullptr));
  EXPECT_EQ(std::vector<std::string>({"host.txt"}), device.list("outside"));
  EXPECT_EQ("host", device.read("outside/host.txt"));

  auto read = [](const wchar_t *path) {
    std::string text;
    if (ce_FILE *file = _wfopen(path, L"rb")) {
      char buffer[16];
      text.assign(buffer, ce_fread(buffer, 1, sizeof buffer, file));
      ce_fclose(file);
    }
    return text;
  };
  EXPECT_EQ("", read(L"\\out\\host.txt"));
  EXPECT_EQ("", read(L"\\f.tvk"));
  EXPECT_EQ("data", read(L"\\ABS\\x.txt"));
  EXPECT_EQ("inner", read(L"\\up\\host.txt"));
  EXPECT_EQ("inner", read(L"\\data\\chain"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(L"\\abs"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"\\out"));
  // A write through a link that stays inside lands inside.
  ce_FILE *file = _wfopen(L"\\abs\\new.txt", L"wb");
  ASSERT_NE(nullptr, file);
  ce_fclose(file);
  EXPECT_EQ(std::vector<std::string>({"chain", "new.txt", "x.txt"}), device.list("root/Data"));
}

INSTANTIATE_TEST_SUITE_P(Resolution, LinksInRoot, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                           return info.param ? "ByHand" : "Kernel";
                         });

TEST(Files, FilePointerAndEndOfFile) {
  TestDevice device;
  device.write("root/f.bin", "0123456789");
  HANDLE file =
      CreateFileW(L"\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(10u, SetFilePointer(file, 0, nullptr, FILE_END));
  EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -10, nullptr, FILE_CURRENT));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "ab", 2, &written, nullptr));
  EXPECT_EQ(2u, written);
  CloseHandle(file);
  EXPECT_EQ("0123ab", device.read("root/f.bin"));
}

// The device's streams: reads of every size mixed, smaller and larger than
// the read-ahead, give the file exactly, lines cross the read-ahead, writes
// land where the reader stands.
TEST(Files, StreamsReadAndWriteWhatIsThere) {
  TestDevice device;
  std::string bytes;
  for (unsigned i = 0; i < 300000; ++i) bytes += static_cast<char>((i * 7919) >> 3);
  device.write("root/data.bin", bytes);
  ce_FILE *file = _wfopen(L"\\DATA.bin", L"rb");
  ASSERT_NE(nullptr, file);
  std::string back;
  std::vector<char> chunk(200000);
  size_t sizes[] = {1, 10, 16384, 3, 4095, 4097, 200000, 7};
  for (size_t i = 0;; ++i) {
    size_t got = ce_fread(chunk.data(), 1, sizes[i % 8], file);
    back.append(chunk.data(), got);
    if (got == 0) break;
  }
  EXPECT_EQ(bytes, back);
  EXPECT_EQ(0u, ce_fread(chunk.data(), 1, 100, file));
  EXPECT_EQ(0, ce_fclose(file));

  // Whole items only: 10 bytes in items of 4 are 2 items.
  device.write("root/ten.bin", "0123456789");
  file = ce_fopen("\\ten.bin", "rb");
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(2u, ce_fread(chunk.data(), 4, 5, file));
  ce_fclose(file);

  // Lines come whole across the ends of the read-ahead, and the last one
  // without a line end.
  std::string lines;
  for (int i = 0; i < 30; ++i) lines += std::string(5000, static_cast<char>('a' + i % 26)) + "\n";
  device.write("root/lines.txt", lines + "end");
  file = ce_fopen("\\lines.txt", "r");
  ASSERT_NE(nullptr, file);
  std::vector<WCHAR> line(6000);
  for (int i = 0; i < 30; ++i) {
    ASSERT_NE(nullptr, ce_fgetws(line.data(), 6000, file));
    ASSERT_EQ(std::wstring(5000, static_cast<WCHAR>(L'a' + i % 26)) + L"\n",
              std::wstring(line.data()));
  }
  ASSERT_NE(nullptr, ce_fgetws(line.data(), 6000, file));
  EXPECT_STREQ(L"end", line.data());
  EXPECT_EQ(nullptr, ce_fgetws(line.data(), 6000, file));
  ce_fclose(file);

  // After a line has been read, a write lands after it, not after what
  // the stream read ahead.
  device.write("root/mixed.txt", "first\nsecond\n");
  file = ce_fopen("\\mixed.txt", "r+");
  ASSERT_NE(nullptr, file);
  ASSERT_NE(nullptr, ce_fgetws(line.data(), 100, file));
  EXPECT_EQ(3u, ce_fwrite("SEC", 1, 3, file));
  EXPECT_EQ(0, ce_fclose(file));
  EXPECT_EQ("first\nSECond\n", device.read("root/mixed.txt"));

  // "w" empties the file; the bytes written are all there at the close.
  file = ce_fopen("\\mixed.txt", "wb");
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(2u, ce_fwrite("abcdef", 3, 2, file));
  EXPECT_EQ(0, ce_fclose(file));
  EXPECT_EQ("abcdef", device.read("root/mixed.txt"));
}

// A handle open only for writing holds writes back. Whatever else looks at
// the file - a search, a stream, another handle - sees every byte WriteFile
// was given; the disk space kept for them is given back at the close; a
// child made by fork writes none of the parent's again; a signal that ends
// the process writes them first; a file size limit fails the WriteFile
// that meets it, with every byte before it in the file.
TEST(Files, WritesHeldBackAreSeenEverywhereAndFailWhereTheyWould) {
  TestDevice device;
  HANDLE out = CreateFileW(L"\\out.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, out);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(out, "hello\n", 6, &done, nullptr));
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"\\OUT.TXT", &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_EQ(6u, found.nFileSizeLow);

  // Opened as the file the search has just listed, and then by its path.
  char bytes[64];
  for (const char *line : {"world\n", "again\n"}) {
    ASSERT_TRUE(WriteFile(out, line, 6, &done, nullptr));
    ce_FILE *stream = _wfopen(L"\\out.txt", L"rb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(std::string("hello\nworld\nagain\n", line[0] == 'w' ? 12 : 18),
              std::string(bytes, ce_fread(bytes, 1, sizeof bytes, stream)));
    ce_fclose(stream);
    FindClose(search);
  }

  HANDLE in = CreateFileW(L"\\out.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, in);
  ASSERT_TRUE(WriteFile(out, "more\n", 5, &done, nullptr));
  ASSERT_TRUE(ReadFile(in, bytes, sizeof bytes, &done, nullptr));
  EXPECT_EQ("hello\nworld\nagain\nmore\n", std::string(bytes, done));
  CloseHandle(in);

  ASSERT_TRUE(WriteFile(out, "once\n", 5, &done, nullptr));
  pid_t child = ::fork();
  if (child == 0) std::exit(0);  // exit writes what is held back, if any
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_TRUE(CloseHandle(out));
  EXPECT_EQ("hello\nworld\nagain\nmore\nonce\n", device.read("root/out.txt"));
  struct stat info;
  ASSERT_EQ(0, ::stat(device.host("out.txt").c_str(), &info));
  EXPECT_LE(info.st_blocks * 512, 4096);

  child = ::fork();
  if (child == 0) {
    HANDLE kept = CreateFileW(L"\\kept.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(kept, "kept\n", 5, &done, nullptr);
    ::raise(SIGTERM);
    ::_exit(1);
  }
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ("kept\n", device.read("root/kept.txt"));

  struct rlimit before;
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &before));
  void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 100000;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
  out = CreateFileW(L"\\big.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string block(1000, 'x');
  int calls = 0;
  while (calls < 200 && WriteFile(out, block.data(), 1000, &done, nullptr)) ++calls;
  CloseHandle(out);
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(100, calls);
  EXPECT_EQ(100000u, device.read("root/big.txt").size());
}

TEST(Shell, DocumentsFolderIsCreatedWhenAsked) {
  TestDevice device;
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PERSONAL, TRUE));
  EXPECT_STREQ(L"\\My Documents", path);
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

}  // namespace

// Fault injection fails exactly the N-th call of the one call named, and a
// name it does not know (or a count it cannot honour) stops the test
// instead of letting it pass without a fault.
TEST(Faults, TheNthCallFailsAloneAndUnknownNamesAreRefused) {
  TestDevice device;
  device.write("root/d/a", "");
  device.write("root/d/b", "");
  device.write("root/d/c", "");
  device.write("registry.reg",
               "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\T]\r\n\"a\"=\"1\"\r\n"
               "\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n");
  device.write("databases.txt",
               "database\tA\t1\t0\t2020-01-01 00:00:00\n"
               "database\tB\t1\t0\t2020-01-01 00:00:00\n"
               "database\tC\t1\t0\t2020-01-01 00:00:00\n");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"T", 0, 0, &key));
  HANDLE databases = CeFindFirstDatabase(0);
  ASSERT_NE(INVALID_HANDLE_VALUE, databases);
  std::vector<CEOID> oids;
  for (CEOID oid; (oid = CeFindNextDatabase(databases)) != 0;) oids.push_back(oid);
  ASSERT_EQ(3u, oids.size());
  CloseHandle(databases);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"\\d\\*", &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);

  struct Case {
    const char *call;
    DWORD error;
    std::function<DWORD(int)> attempt;  // the i-th call: its error, 0 when it succeeded
  };
  const Case cases[] = {
      {"FindNextFileW", ERROR_ACCESS_DENIED,
       [&](int) -> DWORD { return FindNextFileW(search, &found) ? 0 : GetLastError(); }},
      {"RegEnumValueW", ERROR_ACCESS_DENIED,
       [&](int i) -> DWORD {
         WCHAR name[8];
         DWORD chars = 8;
         return static_cast<DWORD>(RegEnumValueW(key, static_cast<DWORD>(i), name, &chars, nullptr,
                                                 nullptr, nullptr, nullptr));
       }},
      {"CeOidGetInfo", ERROR_INVALID_PARAMETER,
       [&](int i) -> DWORD {
         CEOIDINFO info;
         return CeOidGetInfo(oids[static_cast<size_t>(i)], &info) ? 0 : GetLastError();
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.call);
    PlatformFailCall(c.call, 2, 1);
    EXPECT_EQ(0u, c.attempt(0));
    EXPECT_EQ(c.error, c.attempt(1));
    EXPECT_EQ(0u, c.attempt(2));
  }
  FindClose(search);
  RegCloseKey(key);

  EXPECT_DEATH(PlatformFailCall("WriteFileW", 1, 1), "no such injectable call.* WriteFile ");
  EXPECT_DEATH(PlatformFailCall("WriteFile", 0, 1), "start at 1");
}
