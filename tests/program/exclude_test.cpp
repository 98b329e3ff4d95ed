// The exclusion list: adding, removing and testing names and paths.
#include <gtest/gtest.h>

#include <string>

#include "saved_settings.h"
#include "settings/exclude.h"
#include "settings/settings.h"

namespace {

class Exclusions : public ::testing::Test {
 protected:
  testing_device::SavedSettings settings;
};

TEST_F(Exclusions, SnapshotPatternHidesSnapshotsByNameAndPath) {
  ExcludeAdd(L".TVK");
  EXPECT_EQ(1, IsExcluded(L"a.tvk"));
  EXPECT_EQ(1, IsExcluded(L"A.TVK"));
  EXPECT_EQ(1, IsExcluded(L"x.tvk.bak"));
  EXPECT_EQ(0, IsExcluded(L"a.tv"));
  EXPECT_EQ(1, IsExcluded(L"\\Old.tvk\\inside"));
}

TEST_F(Exclusions, PatternsMatchAnywhereWithoutRegardToCase) {
  ExcludeAdd(L"\\TEMP");
  EXPECT_EQ(1, IsExcluded(L"\\Temp"));
  EXPECT_EQ(1, IsExcluded(L"\\Windows\\Templates"));
  EXPECT_EQ(0, IsExcluded(L"TEMP.TXT"));  // file names are tested without their path
  ExcludeAdd(L"\\cache");                 // typed in lower case, still excludes
  EXPECT_EQ(1, IsExcluded(L"\\Windows\\Cache"));
  EXPECT_STREQ(L"\\cache", Settings.excludes.slots[1]);  // stored as typed
  Settings.excludes.count = 0;
  EXPECT_EQ(0, IsExcluded(L"\\Temp"));  // an empty list excludes nothing
}

TEST_F(Exclusions, ListHoldsTenPatternsInOrder) {
  for (int i = 0; i < MAX_EXCLUDES; ++i) {
    std::wstring pattern = L"P" + std::to_wstring(i);
    EXPECT_EQ(1, ExcludeAdd(pattern.c_str()));
  }
  EXPECT_EQ(0, ExcludeAdd(L"ELEVENTH"));
  EXPECT_EQ(MAX_EXCLUDES, Settings.excludes.count);
  EXPECT_EQ(0, IsExcluded(L"ELEVENTH"));

  Settings.excludes.count = 3;
  EXPECT_EQ(1, ExcludeRemove(0));
  EXPECT_EQ(2, Settings.excludes.count);
  EXPECT_STREQ(L"P1", Settings.excludes.slots[0]);
  EXPECT_STREQ(L"P2", Settings.excludes.slots[1]);
  EXPECT_EQ(0, ExcludeRemove(-1));
  EXPECT_EQ(0, ExcludeRemove(2));
  EXPECT_EQ(2, Settings.excludes.count);
}

TEST_F(Exclusions, EmptyAndOverlongPatternsAreRefused) {
  EXPECT_EQ(0, ExcludeAdd(L""));
  std::wstring fits(EXCLUDE_CHARS - 1, L'F');
  std::wstring tooLong(EXCLUDE_CHARS, L'L');
  EXPECT_EQ(1, ExcludeAdd(fits.c_str()));
  EXPECT_EQ(0, ExcludeAdd(tooLong.c_str()));
  EXPECT_EQ(1, Settings.excludes.count);
  EXPECT_EQ(0, IsExcluded(L"LLLL"));  // nothing cut to a shorter, wider pattern
}

TEST_F(Exclusions, OverlongTextIsTestedWithoutOverflow) {
  ExcludeAdd(L"NEEDLE");
  std::wstring text(5000, L'a');
  EXPECT_EQ(0, IsExcluded(text.c_str()));
  text.replace(10, 6, L"needle");
  EXPECT_EQ(1, IsExcluded(text.c_str()));
}

}  // namespace
