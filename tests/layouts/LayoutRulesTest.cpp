#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "convert/LayoutRebuild.h"
#include "convert/SectorLayout.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::byte>;

Bytes counting(std::size_t n, int start = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::byte>((i + static_cast<std::size_t>(start)) % 251 + 1);
  return b;
}

// ---- texts and fitting -------------------------------------------------

TEST(SectorLayoutText, OperatorTextsRoundTrip) {
  EXPECT_EQ(layoutText(SectorLayout::DataFirst), "Data first");
  EXPECT_EQ(layoutText(SectorLayout::DataLast), "Data last");
  EXPECT_EQ(layoutText(SectorLayout::Groups4K), "4 KiB groups (8 \xC3\x97 520)");
}

struct FitCase {
  SectorLayout layout;
  std::int32_t s, t;
  bool fits;
};
void PrintTo(const FitCase& c, std::ostream* os) { *os << layoutText(c.layout) << " " << c.s << "->" << c.t; }

class LayoutFits : public ::testing::TestWithParam<FitCase> {};

TEST_P(LayoutFits, OnlyGroupsAreRestricted) {
  const FitCase& c = GetParam();
  EXPECT_EQ(layoutFits(c.layout, c.s, c.t), c.fits);
  EXPECT_EQ(layoutMisfit(c.layout, c.s, c.t).empty(), c.fits);
  Bytes image{std::byte{1}}, extra{std::byte{2}};
  EXPECT_EQ(convertLayout(c.layout, c.s, c.t, counting(c.s > 0 ? static_cast<std::size_t>(c.s) : 8), 0, image, extra),
            c.fits);
  if (!c.fits) {
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(extra.empty());
    EXPECT_FALSE(rebuildSource(c.layout, c.s, c.t, {}, {}).has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, LayoutFits,
    ::testing::Values(FitCase{SectorLayout::Groups4K, 520, 512, true}, FitCase{SectorLayout::Groups4K, 528, 512, false},
                      FitCase{SectorLayout::Groups4K, 520, 520, false},
                      FitCase{SectorLayout::Groups4K, 512, 512, false},
                      FitCase{SectorLayout::Groups4K, 524, 512, false},
                      FitCase{SectorLayout::DataFirst, 528, 512, true},
                      FitCase{SectorLayout::DataFirst, 512, 528, true}, FitCase{SectorLayout::DataLast, 512, 528, true},
                      FitCase{SectorLayout::DataLast, 522, 512, true}, FitCase{SectorLayout::DataLast, 0, 512, false},
                      FitCase{SectorLayout::DataFirst, 520, -1, false}),
    [](const auto& info) {
      const FitCase& c = info.param;
      const std::string name = c.layout == SectorLayout::DataFirst  ? "DataFirst"
                               : c.layout == SectorLayout::DataLast ? "DataLast"
                                                                    : "Groups4K";
      return name + "_s" + (c.s < 0 ? "neg" : std::to_string(c.s)) + "_t" + (c.t < 0 ? "neg" : std::to_string(c.t));
    });

// ---- blocks that do not start on a sector boundary ------------------------
// (Group blocks that start mid-group, as the run's single sectors do, are
// converted in SectorLayoutTest.)

TEST(SectorLayoutConvert, BlockOffTheSectorBoundaryIsRefused) {
  Bytes image, extra;
  EXPECT_FALSE(convertLayout(SectorLayout::DataLast, 520, 512, counting(1040), 4, image, extra));
  EXPECT_FALSE(convertLayout(SectorLayout::Groups4K, 520, 512, counting(1040), 512, image, extra));
  // Equal sizes copy unchanged, in blocks of any length.
  ASSERT_TRUE(convertLayout(SectorLayout::DataLast, 520, 520, counting(1000), 65536, image, extra));
  EXPECT_EQ(image, counting(1000));
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
void PrintTo(const BadPair& c, std::ostream* os) { *os << c.name; }

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
    [](const auto& info) { return std::string(info.param.name); });

TEST(Rebuild, EmptyFilesAreAnEmptySource) {
  for (auto l : {SectorLayout::DataFirst, SectorLayout::DataLast, SectorLayout::Groups4K}) {
    const auto r = rebuildSource(l, 520, 512, {}, {});
    ASSERT_TRUE(r.has_value());
    EXPECT_TRUE(r->empty());
  }
}

// A long source is rebuilt piece by piece from the cut points layoutSplit
// gives at unit boundaries.
TEST(Rebuild, PiecesCutAtUnitBoundariesRebuildTheirPartOfTheSource) {
  const Bytes src = counting(4160 * 5 + 700, 3);
  Bytes image, extra;
  ASSERT_TRUE(convertLayout(SectorLayout::Groups4K, 520, 512, src, 0, image, extra));
  const std::uint64_t cut = 4160 * 2;
  const LayoutSplit a = layoutSplit(SectorLayout::Groups4K, 520, 512, cut);
  EXPECT_EQ(a.imageBytes, 2u * 4096);
  EXPECT_EQ(a.extraBytes, 2u * 64);
  const auto head = rebuildSource(SectorLayout::Groups4K, 520, 512, std::span(image).first(a.imageBytes),
                                  std::span(extra).first(a.extraBytes));
  const auto tail = rebuildSource(SectorLayout::Groups4K, 520, 512, std::span(image).subspan(a.imageBytes),
                                  std::span(extra).subspan(a.extraBytes));
  ASSERT_TRUE(head && tail);
  EXPECT_EQ(*head, Bytes(src.begin(), src.begin() + cut));
  EXPECT_EQ(*tail, Bytes(src.begin() + cut, src.end()));
}

}  // namespace
}  // namespace mdi
