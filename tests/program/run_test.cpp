// The snapshot's path: command line, default path and the generated name.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run/run.h"
#include "saved_settings.h"
#include "settings/settings.h"
#include "test_device.h"

namespace {

std::string Narrow(const WCHAR *wide) {
  std::string out;
  for (; *wide; ++wide) out += static_cast<char>(*wide);
  return out;
}

class OutputPath : public ::testing::Test {
 protected:
  testing_device::SavedSettings settings;
  WCHAR path[OUTPUT_PATH_CHARS];
};

TEST_F(OutputPath, CommandLineIsCopiedUnchanged) {
  ASSERT_EQ(1, BuildOutputPath(L"\\Temp\\a.txt", path));
  EXPECT_STREQ(L"\\Temp\\a.txt", path);
}

TEST_F(OutputPath, GeneratedNameFollowsTheDefaultPathWithoutASeparator) {
  Settings.defaultPath[0] = 0;
  ASSERT_EQ(1, BuildOutputPath(L"", path));
  EXPECT_TRUE(std::regex_match(Narrow(path), std::regex(R"(\d{12}\.tvk)"))) << Narrow(path);

  wcscpy(Settings.defaultPath, L"\\Storage Card\\");
  ASSERT_EQ(1, BuildOutputPath(nullptr, path));
  EXPECT_TRUE(std::regex_match(Narrow(path), std::regex(R"(\\Storage Card\\\d{12}\.tvk)")));

  wcscpy(Settings.defaultPath, L"\\Storage Card");
  ASSERT_EQ(1, BuildOutputPath(L"", path));
  EXPECT_TRUE(std::regex_match(Narrow(path), std::regex(R"(\\Storage Card\d{12}\.tvk)")));
}

TEST_F(OutputPath, PathsThatDoNotFitAreRefused) {
  std::wstring longest(259, L'a');
  EXPECT_EQ(1, BuildOutputPath(longest.c_str(), path));
  std::wstring tooLong(260, L'a');
  EXPECT_EQ(0, BuildOutputPath(tooLong.c_str(), path));

  std::wstring prefix(243, L'd');  // 243 + 16 = 259 fits
  wcscpy(Settings.defaultPath, prefix.c_str());
  EXPECT_EQ(1, BuildOutputPath(L"", path));
  wcscat(Settings.defaultPath, L"d");
  EXPECT_EQ(0, BuildOutputPath(L"", path));
}

}  // namespace
