// The wide scans the settings reader makes, the same assertions on the
// device layer and on Windows.
#include <gtest/gtest.h>

#include "scratch.h"

namespace {

// The settings reader's scans: a wide scan set from space to U+044F stores
// wide characters, and a literal keyword must open the text.
TEST(ConformanceText, WideScanSetStoresWideCharacters) {
  WCHAR value[256] = {};
  EXPECT_EQ(1, ce_swscanf(L"EXCLUDE \\TEMP \u0416\r\n", L"EXCLUDE %[ -\u044f]ws", value));
  EXPECT_STREQ(L"\\TEMP \u0416", value);
  value[0] = 0;
  EXPECT_EQ(1,
            ce_swscanf(L"DEFAULT_PATH \\STORAGE CARD\\\t1", L"DEFAULT_PATH %[ -\u044f]ws", value));
  EXPECT_STREQ(L"\\STORAGE CARD\\", value);
  unsigned number = 7;
  EXPECT_EQ(1, ce_swscanf(L"CRC32 -0", L"CRC32%u", &number));
  EXPECT_EQ(0u, number);
  EXPECT_EQ(0, ce_swscanf(L"  CRC32 0", L"CRC32%u", &number));
  EXPECT_EQ(0, ce_swscanf(L"CRC32 x", L"CRC32%u", &number));
}

}  // namespace
