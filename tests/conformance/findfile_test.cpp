// Find-file entries as the file listing uses them, the same assertions on
// the device layer and on Windows.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "scratch.h"

namespace {

using conformance::kDesktopWindows;
using conformance::Scratch;

struct Entry {
  DWORD attributes;
  DWORD sizeLow;
  DWORD sizeHigh;
};

// Every entry a search yields, by name, with "." and "..": Windows CE
// yields neither, desktop Windows yields both in every folder but a
// drive's root, so they are counted apart.
std::map<std::wstring, Entry> Search(const std::wstring &pattern, int *dots, DWORD *error) {
  std::map<std::wstring, Entry> entries;
  *dots = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return entries;
  }
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      ++*dots;
    else
      entries[name] = Entry{data.dwFileAttributes, data.nFileSizeLow, data.nFileSizeHigh};
  } while (FindNextFileW(find, &data));
  *error = GetLastError();
  EXPECT_TRUE(FindClose(find));
  return entries;
}

TEST(ConformanceFindFile, EntriesOfAFolder) {
  Scratch scratch;
  scratch.WriteFile(L"b.txt", "hello");
  scratch.WriteFile(L"a.dat", "");
  scratch.WriteFile(L"noext", std::string(70000, 'x'));
  scratch.WriteFile(L"Sub\\inner.txt", "in");
  int dots = 0;
  DWORD error = 0;
  auto entries = Search(scratch.Path(L"") + L"\\*.*", &dots, &error);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error);
  EXPECT_EQ(kDesktopWindows ? 2 : 0, dots);
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ(5u, entries[L"b.txt"].sizeLow);
  EXPECT_EQ(0u, entries[L"a.dat"].sizeLow);
  EXPECT_EQ(70000u, entries[L"noext"].sizeLow);
  EXPECT_EQ(0u, entries[L"noext"].sizeHigh);
  EXPECT_TRUE(entries[L"Sub"].attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(entries[L"b.txt"].attributes & FILE_ATTRIBUTE_DIRECTORY);
  // Nothing on a disk is in ROM.
  for (const auto &entry : entries)
    EXPECT_EQ(0u, entry.second.attributes & (FILE_ATTRIBUTE_INROM | FILE_ATTRIBUTE_ROMMODULE |
                                             FILE_ATTRIBUTE_ROMSTATICREF))
        << entry.first.c_str();
}

TEST(ConformanceFindFile, PatternsAndMissingPaths) {
  Scratch scratch;
  scratch.WriteFile(L"b.txt", "hello");
  scratch.WriteFile(L"Readme.TXT", "x");
  scratch.WriteFile(L"c.dat", "y");
  int dots = 0;
  DWORD error = 0;
  // Patterns match without regard to case and keep the names' own case.
  auto entries = Search(scratch.Path(L"*.txt"), &dots, &error);
  EXPECT_EQ(2u, entries.size());
  EXPECT_EQ(1u, entries.count(L"Readme.TXT"));
  entries = Search(scratch.Path(L"B.TXT"), &dots, &error);
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(L"b.txt", entries.begin()->first);

  entries = Search(scratch.Path(L"nothing.here"), &dots, &error);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
  entries = Search(scratch.Path(L"missing\\*.*"), &dots, &error);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}

TEST(ConformanceFindFile, EmptyFolder) {
  // Windows CE finds nothing in an empty folder; desktop Windows finds "."
  // and "..", so the search succeeds there.
  if (kDesktopWindows) GTEST_SKIP() << "desktop Windows lists . and .. in an empty folder";
  Scratch scratch;
  scratch.MakeFolder(L"Empty");
  WIN32_FIND_DATAW data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(scratch.Path(L"Empty\\*.*").c_str(), &data));
}

TEST(ConformanceFindFile, TimesOfANewFileAreRecent) {
  Scratch scratch;
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME nowFile;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &nowFile));
  scratch.WriteFile(L"t.txt", "t");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(scratch.Path(L"t.txt").c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, find);
  FindClose(find);
  auto ticks = [](const FILETIME &t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  // Within a minute of now, in UTC.
  const ULONGLONG minute = 600000000ull;
  EXPECT_LT(ticks(data.ftCreationTime) > ticks(nowFile)
                ? ticks(data.ftCreationTime) - ticks(nowFile)
                : ticks(nowFile) - ticks(data.ftCreationTime),
            minute);
  EXPECT_LT(ticks(data.ftLastWriteTime) > ticks(nowFile)
                ? ticks(data.ftLastWriteTime) - ticks(nowFile)
                : ticks(nowFile) - ticks(data.ftLastWriteTime),
            minute);
}

}  // namespace
