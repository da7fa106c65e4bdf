#include <gtest/gtest.h>

#include "discovery/FormatSize.h"

namespace mdi {
namespace {

// Units step up only past 1,024 of the unit below; the locale's separators
// group the digits and mark the decimal.
TEST(FormatSize, UnitsBoundariesAndSeparators) {
  const Separators commaPoint{",", "."}, pointComma{".", ","};
  const struct {
    const char* bytes;
    const Separators& sep;
    const char* shown;
  } cases[] = {
      {"0", commaPoint, "0.0 bytes"},
      {"", commaPoint, "0.0 bytes"},
      {"abc", commaPoint, "0.0 bytes"},
      {"512", commaPoint, "512.0 bytes"},
      {"1024", commaPoint, "1,024.0 bytes"},
      {"1025", commaPoint, "1.0 Kb"},
      {"1048576", commaPoint, "1,024.0 Kb"},
      {"1048577", commaPoint, "1.0 Mb"},
      {"1073741824", commaPoint, "1,024.0 Mb"},
      {"1099511627776", commaPoint, "1,024.0 Gb"},
      {"1099511627777", commaPoint, "1.0 Tb"},
      {"500107862016", commaPoint, "465.8 Gb"},   // real drive sizes
      {"2000398934016", commaPoint, "1.8 Tb"},
      {"67108864", commaPoint, "64.0 Mb"},
      {"219902325555200", commaPoint, "200.0 Tb"},  // 200 TiB
      {"1024", pointComma, "1.024,0 bytes"},
      {"500107862016", pointComma, "465,8 Gb"},
      {"2000398934016", pointComma, "1,8 Tb"},
      {"1048576", pointComma, "1.024,0 Kb"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes, c.sep), c.shown) << '"' << c.bytes << "\" with " << c.sep.group;
}

}  // namespace
}  // namespace mdi
