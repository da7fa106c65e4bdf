#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "convert/JobConversion.h"
#include "convert/MutateSizes.h"
#include "convert/SectorLayout.h"
#include "tests/Pattern.h"
#include "tests/Readme.h"
#include "tests/layouts/LayoutOracle.h"
#include "tests/layouts/PiSectors.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::byte>;

// ---- texts, block sizes and fitting -------------------------------------

// The operator's words for each layout are the README's, in its order.
TEST(SectorLayoutText, IsTheReadmesName) {
  const auto rows = test::readmeTable("Sector layouts");
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

// ---- converting a job's blocks -------------------------------------------

struct LayoutCase {
  SectorLayout layout;
  std::int32_t s, t;
  int blocks;       // whole main-pass blocks
  int tailSectors;  // whole sectors after them (read one at a time by the run)
  int tailBytes;    // a partial sector at the very end
};

// Named in SectorLayout's order.
std::string caseName(const LayoutCase& c) {
  constexpr const char* kLayoutNames[] = {"DataFirst", "DataLast", "Groups4K"};
  return kLayoutNames[static_cast<int>(c.layout)] + std::string("_s") + std::to_string(c.s) + "_t" +
         std::to_string(c.t) + "_" + std::to_string(c.blocks) + "blocks_" + std::to_string(c.tailSectors) + "sectors_" +
         std::to_string(c.tailBytes) + "bytes";
}
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << caseName(c); }

// As a run converts a job: whole main-pass blocks, then one source sector
// at a time, the last one partial.
Split convertAsTheRunDoes(const LayoutCase& c, std::size_t blockLen, const Bytes& src) {
  Split out;
  // Reused, as the run reuses its buffers, and holding an earlier block's
  // bytes at first: none of them may survive into a result.
  std::vector<std::byte> image(5000, std::byte{0xEE}), extra(5000, std::byte{0xEE});
  std::size_t at = 0;
  auto step = [&](std::size_t len) {
    const std::span<const std::byte> block(src.data() + at, len);
    EXPECT_TRUE(convertLayout(c.layout, c.s, c.t, block, at, image, extra)) << "at " << at;
    out.image.insert(out.image.end(), image.begin(), image.end());
    out.extra.insert(out.extra.end(), extra.begin(), extra.end());
    at += len;
  };
  for (int b = 0; b < c.blocks; ++b) step(blockLen);
  while (at < src.size()) step(std::min<std::size_t>(static_cast<std::size_t>(c.s), src.size() - at));
  return out;
}

class LayoutConversion : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutConversion, BlockByBlockMatchesTheOracle) {
  const LayoutCase& c = GetParam();
  const std::size_t blockLen = static_cast<std::size_t>(computeMutateSizes(c.s, c.t)->readSize);
  const std::size_t n = blockLen * static_cast<std::size_t>(c.blocks) +
                        static_cast<std::size_t>(c.s) * static_cast<std::size_t>(c.tailSectors) +
                        static_cast<std::size_t>(c.tailBytes);
  // Without a short period, so a byte taken from the wrong place shows.
  const Bytes src = test::patternBytes(n, static_cast<unsigned>(c.s * 1000 + c.t));
  const Split want = layoutOracle(c.layout, static_cast<std::size_t>(c.s), static_cast<std::size_t>(c.t), src);
  const Split got = convertAsTheRunDoes(c, blockLen, src);

  ASSERT_EQ(got.image.size(), want.image.size());
  ASSERT_EQ(got.extra.size(), want.extra.size());
  EXPECT_TRUE(got.image == want.image) << "first difference at image byte "
                                       << std::mismatch(got.image.begin(), got.image.end(), want.image.begin()).first -
                                              got.image.begin();
  EXPECT_TRUE(got.extra == want.extra);

  const LayoutSplit split = layoutSplit(c.layout, c.s, c.t, n);
  EXPECT_EQ(split.imageBytes, want.image.size());
  EXPECT_EQ(split.extraBytes, want.extra.size());
}

constexpr std::int32_t kSizes[] = {512, 520, 522, 524, 528};

std::vector<LayoutCase> layoutCases() {
  std::vector<LayoutCase> v;
  for (auto layout : {SectorLayout::DataFirst, SectorLayout::DataLast})
    for (auto s : kSizes)
      for (auto t : kSizes) {
        v.push_back({layout, s, t, 3, 0, 0});
        v.push_back({layout, s, t, 3, 2, 1});
        v.push_back({layout, s, t, 2, 1, s - 1});
        v.push_back({layout, s, t, 1, 0, std::min(s, t) / 2});
        v.push_back({layout, s, t, 0, 3, 5});
        v.push_back({layout, s, t, 0, 0, 0});
      }
  // 4 KiB groups: whole groups (the last read a sector at a time), a last
  // group of 3 sectors, a partial sector ending inside the data of its group
  // or past it (7 * 520 + 500 is 44 bytes into the group's checksum).
  for (auto [blocks, sectors, bytes] :
       {std::tuple{0, 0, 0}, {3, 8, 0}, {2, 3, 0}, {2, 3, 100}, {3, 7, 500}, {1, 7, 456}, {0, 0, 1}, {0, 12, 519}})
    v.push_back({SectorLayout::Groups4K, 520, 512, blocks, sectors, bytes});
  return v;
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutConversion, ::testing::ValuesIn(layoutCases()),
                         [](const auto& info) { return caseName(info.param); });

// ---- a job's conversion: layout and PI check together -------------------
// A copy of 520-byte sectors reads 64 KiB blocks, which end inside a sector:
// the check carries the sector's start into the next block, and numbers the
// whole sectors after it from where the block starts (as it does the single
// sectors a run reads after a read error). 300 sectors of valid type-1 PI but
// for wrong reference tags at LBAs 5, 130 and 299, and a bad guard at LBA 200.
TEST(JobConversion, ChecksSectorsAcrossBlocks) {
  std::string kinds(300, 'G');
  kinds[5] = kinds[130] = kinds[299] = 'R';
  kinds[200] = 'B';
  const Bytes src = sectors(kinds, 0);
  JobConversion job(SectorLayout::DataFirst, 520, 520, 1);
  Bytes image;
  for (std::size_t at = 0; at < src.size(); at += 65536) {
    ASSERT_TRUE(job.convert(std::span(src).subspan(at, std::min<std::size_t>(65536, src.size() - at))));
    image.insert(image.end(), job.image().begin(), job.image().end());
  }
  EXPECT_TRUE(image == src);
  EXPECT_FALSE(job.hasExtra());
  ASSERT_NE(job.pi(), nullptr);
  const PiCounts& n = job.pi()->counts();
  EXPECT_EQ(std::tuple(n.sectors, n.guardMismatches, n.refTagMismatches), std::tuple(300u, 1u, 3u));
  EXPECT_EQ(n.firstRefTagMismatchLbas, (std::vector<std::uint64_t>{5, 130, 299}));
}

// A block after a partial sector converts nothing. (A layout that does not
// fit converts nothing either: the fitting test above.) Only Data first
// from 520 is checked for PI.
TEST(JobConversion, BlockAfterAPartialSectorIsRefused) {
  const Bytes src = sectors("GGG", 0);
  JobConversion job(SectorLayout::DataLast, 520, 512);
  EXPECT_EQ(job.pi(), nullptr);
  ASSERT_TRUE(job.convert(std::span(src).first(700)));
  EXPECT_FALSE(job.convert(std::span(src).subspan(700)));
  EXPECT_TRUE(job.image().empty());
}

}  // namespace
}  // namespace mdi
