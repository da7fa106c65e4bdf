#include <gtest/gtest.h>

#include "discovery/FormatSize.h"

namespace mdi {
namespace {

const Separators kCommaPoint{",", "."};
const Separators kPointComma{".", ","};

TEST(FormatSize, BytesBelowAndAtOneKilobyte) {
  EXPECT_EQ(FormatSize("0", kCommaPoint), "0.0 bytes");
  EXPECT_EQ(FormatSize("", kCommaPoint), "0.0 bytes");
  EXPECT_EQ(FormatSize("abc", kCommaPoint), "0.0 bytes");
  EXPECT_EQ(FormatSize("512", kCommaPoint), "512.0 bytes");
  EXPECT_EQ(FormatSize("1024", kCommaPoint), "1,024.0 bytes");
  EXPECT_EQ(FormatSize("1025", kCommaPoint), "1.0 Kb");
}

TEST(FormatSize, UnitBoundariesAreStrict) {
  EXPECT_EQ(FormatSize("1048576", kCommaPoint), "1,024.0 Kb");
  EXPECT_EQ(FormatSize("1048577", kCommaPoint), "1.0 Mb");
  EXPECT_EQ(FormatSize("1073741824", kCommaPoint), "1,024.0 Mb");
  EXPECT_EQ(FormatSize("1099511627776", kCommaPoint), "1,024.0 Gb");
  EXPECT_EQ(FormatSize("1099511627777", kCommaPoint), "1.0 Tb");
}

TEST(FormatSize, RealDriveSizes) {
  EXPECT_EQ(FormatSize("500107862016", kCommaPoint), "465.8 Gb");
  EXPECT_EQ(FormatSize("2000398934016", kCommaPoint), "1.8 Tb");
  EXPECT_EQ(FormatSize("67108864", kCommaPoint), "64.0 Mb");
}

TEST(FormatSize, OtherSeparators) {
  EXPECT_EQ(FormatSize("1024", kPointComma), "1.024,0 bytes");
  EXPECT_EQ(FormatSize("500107862016", kPointComma), "465,8 Gb");
  EXPECT_EQ(FormatSize("2000398934016", kPointComma), "1,8 Tb");
  EXPECT_EQ(FormatSize("1048576", kPointComma), "1.024,0 Kb");
}

TEST(FormatSize, LargeTerabyteCountsAreGrouped) {
  // 200 TiB.
  EXPECT_EQ(FormatSize("219902325555200", kCommaPoint), "200.0 Tb");
}

}  // namespace
}  // namespace mdi
