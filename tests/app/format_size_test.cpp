#include <gtest/gtest.h>

#include "app/format_size.h"

TEST(FormatSize, KilobytesBelowOneMebibyteAndOneDecimalAbove) {
  EXPECT_EQ(FormatSize(0), "0k");
  EXPECT_EQ(FormatSize(1023), "0k");
  EXPECT_EQ(FormatSize(1024), "1k");
  EXPECT_EQ(FormatSize(1048575), "1023k");
  EXPECT_EQ(FormatSize(1048576), "1.0M");
  EXPECT_EQ(FormatSize(1572864), "1.5M");
  EXPECT_EQ(FormatSize(123456789), "117.7M");
  EXPECT_EQ(FormatSize(6ULL << 30), "6144.0M");
}
