// The device's swscanf: literals, white space, numbers with signs, wide
// strings and scan sets, and the count it returns.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"

namespace {

TEST(Swscanf, LiteralsNeverSkipBlanksButFormatWhiteSpaceDoes) {
  unsigned value = 7;
  EXPECT_EQ(1, ce_swscanf(L"CRC32 0", L"CRC32%u", &value));
  EXPECT_EQ(0u, value);
  value = 7;
  EXPECT_EQ(0, ce_swscanf(L"  CRC32 0", L"CRC32%u", &value));  // the literal meets a blank
  EXPECT_EQ(7u, value);
  EXPECT_EQ(1, ce_swscanf(L"  CRC32 5", L" CRC32%u", &value));  // format blank: any amount
  EXPECT_EQ(5u, value);
  EXPECT_EQ(1, ce_swscanf(L"CRC32\t\r\n 9", L"CRC32%u", &value));  // %u skips all white space
  EXPECT_EQ(9u, value);
  EXPECT_EQ(1, ce_swscanf(L"A1", L"A \t %u", &value));  // format blank may match none
  EXPECT_EQ(1u, value);
  EXPECT_EQ(0, ce_swscanf(L"CRC32 x", L"CRC32%u", &value));
  EXPECT_EQ(1, ce_swscanf(L"50%", L"%u%%", &value));
}

TEST(Swscanf, UnsignedTakesASignAsTheRuntimeDoes) {
  unsigned value = 7;
  EXPECT_EQ(1, ce_swscanf(L"+0", L"%u", &value));
  EXPECT_EQ(0u, value);
  value = 7;
  EXPECT_EQ(1, ce_swscanf(L"-0", L"%u", &value));
  EXPECT_EQ(0u, value);
  EXPECT_EQ(1, ce_swscanf(L"-1", L"%u", &value));
  EXPECT_EQ(0xFFFFFFFFu, value);
  EXPECT_EQ(0, ce_swscanf(L"-x", L"%u", &value));
  EXPECT_EQ(1, ce_swscanf(L"4294967297", L"%u", &value));  // wraps like the runtime
  EXPECT_EQ(1u, value);
  EXPECT_EQ(1, ce_swscanf(L"12345", L"%3u", &value));  // a width limits the digits
  EXPECT_EQ(123u, value);

  int number = 0;
  unsigned short small = 0;
  EXPECT_EQ(2, ce_swscanf(L"-42 65537", L"%d%hu", &number, &small));
  EXPECT_EQ(-42, number);
  EXPECT_EQ(1, small);
}

TEST(Swscanf, StringsAndScanSetsStoreWideText) {
  WCHAR value[64] = {};
  // The settings file's set: U+0020 through U+044F. Cyrillic and inner and
  // trailing blanks are kept; tab, CR, LF and anything above end the value.
  EXPECT_EQ(1, ce_swscanf(L"PATH \\STORAGE CARD\\ \u042f\u044f\r\n", L"PATH %[ -\u044f]ws", value));
  EXPECT_STREQ(L"\\STORAGE CARD\\ \u042f\u044f", value);
  EXPECT_EQ(1, ce_swscanf(L"PATH a b\tc", L"PATH %[ -\u044f]", value));
  EXPECT_STREQ(L"a b", value);
  EXPECT_EQ(1, ce_swscanf(L"PATH a\u0450b", L"PATH %[ -\u044f]", value));
  EXPECT_STREQ(L"a", value);

  // %[ does not skip white space; a set that takes nothing converts nothing.
  EXPECT_EQ(0, ce_swscanf(L"\tx", L"%[a-z]", value));
  EXPECT_EQ(1, ce_swscanf(L"abc-]d", L"%[]a-c-]", value));  // ']' first, '-' last
  EXPECT_STREQ(L"abc-]", value);
  EXPECT_EQ(1, ce_swscanf(L"hello world", L"%[^ ]", value));
  EXPECT_STREQ(L"hello", value);
  EXPECT_EQ(1, ce_swscanf(L"zyx", L"%[z-x]", value));  // a reversed range
  EXPECT_STREQ(L"zyx", value);

  WCHAR word[16] = {};
  WCHAR letters[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(2, ce_swscanf(L"  \u0436\u0443\u043a beetle", L"%s%*[ ]%3c", word, letters));
  EXPECT_STREQ(L"\u0436\u0443\u043a", word);
  EXPECT_EQ(std::wstring(L"bee#"), std::wstring(letters, 4));  // %c stores no terminator
}

TEST(Swscanf, ResultCountsFieldsOrIsEofWhenInputEndsFirst) {
  unsigned value;
  WCHAR text[8];
  EXPECT_EQ(EOF, ce_swscanf(L"", L"%u", &value));
  EXPECT_EQ(EOF, ce_swscanf(L"   ", L"%u", &value));
  EXPECT_EQ(EOF, ce_swscanf(L"CRC", L"CRC32%u", &value));  // ended inside the literal
  EXPECT_EQ(EOF, ce_swscanf(L"EXCLUDE \r\n", L"EXCLUDE %[ -\u044f]ws", text));
  EXPECT_EQ(0, ce_swscanf(L"X", L"CRC32%u", &value));        // a mismatch is not the end
  EXPECT_EQ(1, ce_swscanf(L"7", L"%u %u", &value, &value));  // ended after the first
  EXPECT_EQ(0, ce_swscanf(L"7", L"%*u"));                    // suppressed fields do not count
  EXPECT_EQ(0, ce_swscanf(L"7", L"%q", &value));             // unknown conversion stops
  int used = 0;
  EXPECT_EQ(1, ce_swscanf(L"ab 12", L"ab%u%n", &value, &used));
  EXPECT_EQ(5, used);
}

}  // namespace
