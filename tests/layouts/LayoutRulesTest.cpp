#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/LayoutRebuild.h"
#include "convert/SectorLayout.h"
#include "tests/CaseName.h"
#include "tests/layouts/Readme.h"
#include "tests/record/RecordTestUtil.h"

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
// of positive sizes. A misfit is refused with a reason, converts nothing
// (both results emptied) and rebuilds nothing.
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
        if (!fits) {
          EXPECT_TRUE(image.empty() && extra.empty());
          EXPECT_FALSE(rebuildSource(layout, s, t, {}, {}).has_value());
        }
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

// ---- rebuilding -------------------------------------------------------

struct BadPair {
  const char* name;
  SectorLayout layout;
  std::int32_t s, t;
  std::size_t imageBytes, extraBytes;
  bool nonZeroPad = false;
};

class RebuildRefuses : public ::testing::TestWithParam<BadPair> {};

TEST_P(RebuildRefuses, FilesThatCannotComeFromOneSource) {
  const BadPair& c = GetParam();
  Bytes image(c.imageBytes, std::byte{0});
  if (c.nonZeroPad) image[static_cast<std::size_t>(c.s)] = std::byte{9};
  EXPECT_FALSE(rebuildSource(c.layout, c.s, c.t, image, Bytes(c.extraBytes)).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RebuildRefuses,
    ::testing::Values(BadPair{"DataFirstExtraBeyondItsSector", SectorLayout::DataFirst, 520, 512, 1024, 17},
                      BadPair{"DataFirstImageAfterShortExtra", SectorLayout::DataFirst, 520, 512, 1030, 4},
                      BadPair{"DataLastImageWithoutItsHeader", SectorLayout::DataLast, 520, 512, 600, 8},
                      BadPair{"DataLastHeaderAfterShortImage", SectorLayout::DataLast, 520, 512, 500, 16},
                      BadPair{"GroupsChecksumAfterShortData", SectorLayout::Groups4K, 520, 512, 4000, 64},
                      BadPair{"GroupsDataAfterShortChecksum", SectorLayout::Groups4K, 520, 512, 8192, 60},
                      BadPair{"EqualSizesWithExtra", SectorLayout::DataFirst, 520, 520, 1040, 1},
                      BadPair{"PaddedWithExtra", SectorLayout::DataFirst, 512, 520, 520, 8},
                      BadPair{"PaddingNotZero", SectorLayout::DataFirst, 512, 520, 1040, 0, true},
                      BadPair{"TrailingPieceLongerThanASector", SectorLayout::DataLast, 512, 528, 528 + 515, 0}),
    ByName{});

}  // namespace
}  // namespace mdi
