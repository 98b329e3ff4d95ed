// The snapshot's output stream: buffering, flushing, CR LF translation,
// open modes and write failures.
#include <gtest/gtest.h>

#include "output/output.h"
#include "platform_testing.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

class OutputStream : public ::testing::Test {
 protected:
  TestDevice device;
  std::string file() const { return device.read("root/out.txt"); }
  void TearDown() override { OutClose(); }
};

TEST_F(OutputStream, LineFeedFlushesTheLineAndCloseFlushesTheRest) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  OutPutChar('a');
  OutPutChar('b');
  EXPECT_EQ("", file());
  EXPECT_EQ('\n', OutPutChar('\n'));
  EXPECT_EQ("ab\r\n", file());
  OutPutChar('c');
  OutPutChar('d');
  EXPECT_EQ("ab\r\n", file());
  OutClose();
  EXPECT_EQ("ab\r\ncd", file());
  EXPECT_EQ(INVALID_HANDLE_VALUE, OutStream.handle);
}

TEST_F(OutputStream, LongLineIsWrittenInFullBlocks) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  std::string line(300, 'x');
  OutPutString(line.c_str());
  EXPECT_EQ(std::string(266, 'x'), file());
  EXPECT_EQ(34, OutStream.position);
  OutPutString("\n");
  EXPECT_EQ(line + "\r\n", file());
}

TEST_F(OutputStream, CrLfPairMayStraddleAFullBlock) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  std::string head(265, 'y');
  OutPutString(head.c_str());
  OutPutChar('\n');  // CR is byte 266 of the first block, LF a block of its own
  EXPECT_EQ(head + "\r\n", file());
  EXPECT_EQ(0, OutStream.position);

  // A line feed that is itself the 266th byte goes out with the full block.
  OutClose();
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"wb"));
  OutPutString(head.c_str());
  OutPutChar('\n');
  EXPECT_EQ(head + "\n", file());
  EXPECT_EQ(0, OutStream.position);
}

TEST_F(OutputStream, PutStringResults) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  EXPECT_EQ(-1, OutPutString(""));
  EXPECT_EQ('z', OutPutString("xyz"));
  EXPECT_EQ(0xE9, OutPutString("caf\xE9"));  // bytes are taken unsigned
  OutClose();
  EXPECT_EQ("xyzcaf\xE9", file());
}

TEST_F(OutputStream, ModesChooseAccessCreationAndBinary) {
  // Binary mode writes line feeds unchanged.
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"wb"));
  EXPECT_EQ(1, OutStream.binary);
  OutPutString("a\nb\n");
  OutClose();
  EXPECT_EQ("a\nb\n", file());

  // Append keeps what is there; w truncates.
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"a"));
  EXPECT_EQ(0, OutStream.binary);
  OutPutString("c\n");
  OutClose();
  EXPECT_EQ("a\nb\nc\r\n", file());
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w+b"));
  EXPECT_EQ(1, OutStream.binary);
  OutClose();
  EXPECT_EQ("", file());

  // r needs an existing file; r+ creates one.
  EXPECT_EQ(0, OutOpen(L"\\missing.txt", L"r"));
  ASSERT_EQ(1, OutOpen(L"\\made.txt", L"r+"));
  OutClose();
  EXPECT_EQ(std::vector<std::string>({"made.txt", "out.txt"}), device.list("root"));

  // A '+' counts only as the second character: rb+ is read-only binary.
  device.write("root/ro.txt", "keep");
  ASSERT_EQ(1, OutOpen(L"\\ro.txt", L"rb+"));
  EXPECT_EQ(1, OutStream.binary);
  OutPutString("lost\n");
  EXPECT_EQ(1, OutStream.failed);
  OutClose();
  EXPECT_EQ("keep", device.read("root/ro.txt"));
}

TEST_F(OutputStream, UnknownModeLeavesTheHandleAlone) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  HANDLE open = OutStream.handle;
  EXPECT_EQ(0, OutOpen(L"\\other.txt", L"x"));
  EXPECT_EQ(open, OutStream.handle);
  OutPutString("still\n");
  OutClose();
  EXPECT_EQ("still\r\n", file());
}

TEST_F(OutputStream, FailedOpenStoresTheInvalidHandle) {
  EXPECT_EQ(0, OutOpen(L"\\no such folder\\out.txt", L"w"));
  EXPECT_EQ(INVALID_HANDLE_VALUE, OutStream.handle);
}

TEST_F(OutputStream, FailedWriteDropsItsBytesAndWritingGoesOn) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  PlatformFailCall("WriteFile", 1, 1);
  EXPECT_EQ(-1, OutPutString("lost\nnever\n"));  // the rest of the string is not written
  EXPECT_EQ(0, OutStream.position);
  EXPECT_EQ(1, OutStream.failed);
  EXPECT_EQ('\n', OutPutString("kept\n"));
  OutClose();
  EXPECT_EQ("kept\r\n", file());

  // A close that fails (bytes the file system held back could not be
  // written) counts as a failed write too.
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  EXPECT_EQ(0, OutStream.failed);
  PlatformFailCall("CloseHandle", 1, 1);
  OutClose();
  EXPECT_EQ(1, OutStream.failed);
  EXPECT_EQ(INVALID_HANDLE_VALUE, OutStream.handle);
}

TEST_F(OutputStream, FailedCrWriteKeepsTheLineFeedOut) {
  ASSERT_EQ(1, OutOpen(L"\\out.txt", L"w"));
  OutPutString(std::string(265, 'q').c_str());
  PlatformFailCall("WriteFile", 1, 1);
  EXPECT_EQ(-1, OutPutChar('\n'));   // the full block with the CR fails
  EXPECT_EQ(0, OutStream.position);  // and the line feed was not buffered
  OutClose();
  EXPECT_EQ("", file());
}

TEST(NarrowText, ConversionsUseTheDeviceCodePage) {
  TestDevice device;
  char *narrow = ToNarrowAlloc(L"caf\u00e9 \u20ac \u4e2d");
  ASSERT_NE(nullptr, narrow);
  EXPECT_STREQ("caf\xE9 \x80 ?", narrow);  // cp1252: e-acute, euro; no CJK
  LocalFree(narrow);

  char fixed[5] = {1, 1, 1, 1, 0};
  ToNarrowFixed(L"abcdefgh", fixed, 4);  // fills the capacity, no terminator
  EXPECT_STREQ("abcd", fixed);

  device.write("device.ini", "codepage=1251\n");
  PlatformResetDevice();
  narrow = ToNarrowAlloc(L"\u044f\u0416");
  EXPECT_STREQ("\xFF\xC6", narrow);
  LocalFree(narrow);
}

TEST(NarrowText, AllocFailureGivesNull) {
  TestDevice device;
  PlatformFailCall("LocalAlloc", 1, 1);
  EXPECT_EQ(nullptr, ToNarrowAlloc(L"x"));
}

}  // namespace
