#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/format_size.h"

TEST(FormatSize, KilobytesBelowOneMebibyteAndOneDecimalAbove) {
  EXPECT_EQ(FormatSize(0), "0k");
  EXPECT_EQ(FormatSize(1023), "0k");
  EXPECT_EQ(FormatSize(1024), "1k");
  EXPECT_EQ(FormatSize(1048575), "1023k");
  EXPECT_EQ(FormatSize(1048576), "1.0M");
  EXPECT_EQ(FormatSize(1572864), "1.5M");
  EXPECT_EQ(FormatSize(1310720), "1.2M");  // 1.25 exactly: the tie goes to the even digit
  EXPECT_EQ(FormatSize(1101005), "1.1M");
  EXPECT_EQ(FormatSize(1048576 * 10 - 1), "10.0M");
  EXPECT_EQ(FormatSize(123456789), "117.7M");
  EXPECT_EQ(FormatSize(6ULL << 30), "6144.0M");
  EXPECT_EQ(FormatSize(~0ULL), "17592186044416.0M");
}

#ifndef _WIN32
namespace {

// Switches LC_NUMERIC to a locale whose decimal point is a comma, as gtk_init does in a German
// session; a machine without one gets it compiled into a private folder. Empty when impossible.
std::string UseCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return name;
  }
  const std::string folder = std::string(TIDEWAKE_TEST_BINARY_DIR) + "/locales";
  const std::string command = "mkdir -p '" + folder + "' && { [ -f '" + folder +
                              "/de_DE.UTF-8/LC_NUMERIC' ] || localedef -i de_DE -f UTF-8 '" +
                              folder + "/de_DE.UTF-8' >/dev/null 2>&1; true; }";
  if (std::system(command.c_str()) != 0) return {};
  ::setenv("LOCPATH", folder.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ? "de_DE.UTF-8" : "";
}

}  // namespace

TEST(FormatSize, WritesAPointWhateverTheProcessLocale) {
  const std::string name = UseCommaLocale();
  if (name.empty()) GTEST_SKIP() << "no locale with a decimal comma could be found or compiled";
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 1.5);
  const std::string formatted = FormatSize(1572864);
  const std::string speed = FormatSize(123456789);
  std::setlocale(LC_NUMERIC, "C");
  ASSERT_EQ(std::string(printed), "1,5") << name << " does not write a decimal comma";
  EXPECT_EQ(formatted, "1.5M");
  EXPECT_EQ(speed, "117.7M");
}
#endif
