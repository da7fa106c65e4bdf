#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/SectorLayout.h"
#include "tests/Pattern.h"
#include "tests/Readme.h"

namespace mdi {
namespace {
using test::readmeTable;

using Bytes = std::vector<std::byte>;

// ---- texts, block sizes and fitting -------------------------------------

// The operator's words for each layout are the README's, in its order.
TEST(SectorLayoutText, IsTheReadmesName) {
  const auto rows = readmeTable("Sector layouts");
  ASSERT_EQ(rows.size(), 4u);
  const SectorLayout layouts[] = {SectorLayout::DataFirst, SectorLayout::DataLast, SectorLayout::Groups4K};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string& cell = rows[i + 1][0];
    EXPECT_EQ("**" + std::string(layoutText(layouts[i])) + "**", cell.substr(0, cell.find("**", 2) + 2));
  }
}

// Groups fit 520 in and 512 out only; Data first and Data last every pair
// of positive sizes. A misfit is refused with a reason and converts nothing
// (both results emptied).
TEST(LayoutFits, OnlyGroupsAreRestricted) {
  const std::int32_t sizes[] = {-1, 0, 512, 520, 522, 524, 528};
  for (auto layout : {SectorLayout::DataFirst, SectorLayout::DataLast, SectorLayout::Groups4K})
    for (std::int32_t s : sizes)
      for (std::int32_t t : sizes) {
        SCOPED_TRACE(std::string(layoutText(layout)) + " " + std::to_string(s) + " to " + std::to_string(t));
        const bool fits = s > 0 && t > 0 && (layout != SectorLayout::Groups4K || (s == 520 && t == 512));
        EXPECT_EQ(layoutFits(layout, s, t), fits);
        EXPECT_EQ(layoutMisfit(layout, s, t).empty(), fits);
        Bytes image{std::byte{1}}, extra{std::byte{2}};
        EXPECT_EQ(convertLayout(layout, s, t, test::patternBytes(520, 1), 0, image, extra), fits);
        if (!fits) { EXPECT_TRUE(image.empty() && extra.empty()); }
      }
}

// ---- blocks that do not start on a sector boundary ------------------------
// (Group blocks that start mid-group, as the run's single sectors do, are
// converted in SectorLayoutTest.)

TEST(SectorLayoutConvert, BlockOffTheSectorBoundaryIsRefused) {
  Bytes image, extra;
  EXPECT_FALSE(convertLayout(SectorLayout::DataLast, 520, 512, test::patternBytes(1040, 1), 4, image, extra));
  EXPECT_FALSE(convertLayout(SectorLayout::Groups4K, 520, 512, test::patternBytes(1040, 1), 512, image, extra));
  // Equal sizes copy unchanged, in blocks of any length.
  ASSERT_TRUE(convertLayout(SectorLayout::DataLast, 520, 520, test::patternBytes(1000, 1), 65536, image, extra));
  EXPECT_EQ(image, test::patternBytes(1000, 1));
  EXPECT_TRUE(extra.empty());
}

}  // namespace
}  // namespace mdi
