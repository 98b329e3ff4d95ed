// The host platform layer against the device's contracts that only a
// device folder has: its code page setting and device paths. What Windows
// has as well (time and date pictures, formatted output, upper case, code
// page conversions) is checked in tests/conformance.
#include <gtest/gtest.h>

#include <string>

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

TEST(Shell, DocumentsFolderIsCreatedWhenAsked) {
  TestDevice device;
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PERSONAL, TRUE));
  EXPECT_STREQ(L"\\My Documents", path);
  EXPECT_EQ(std::vector<std::string>({"My Documents"}), device.list("root"));
}

}  // namespace
