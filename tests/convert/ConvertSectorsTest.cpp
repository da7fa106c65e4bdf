#include "convert/ConvertSectors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/layouts/LayoutOracle.h"

namespace mdi {
namespace {

// Bytes without a short period, so a byte taken from the wrong place shows.
std::vector<std::byte> block(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::vector<std::byte> b(n);
  for (auto& v : b) v = static_cast<std::byte>(g());
  return b;
}

// ConvertSectors is the Data first image of the layouts' oracle. The rows
// run in order through one kept result (holding 5000 bytes of an earlier
// result at first), as a run converts block after block: each must give
// what a fresh vector gives, whether the block is longer than the last or
// shorter, so no byte of an earlier block survives. Every pair of real
// sector sizes is converted against the oracle in SectorLayoutTest.
TEST(ConvertSectors, IsTheOraclesDataFirstThroughAKeptResult) {
  struct Row {
    const char* name;
    std::size_t n;
    std::int32_t s, t;
  };
  const Row rows[] = {
      {"128SectorsOf520To512", 128 * 520, 520, 512},
      {"ShorterBlock", 3 * 520, 520, 512},
      {"PartialTrailingSectorComesOutWhole", 520 + 100, 520, 512},
      {"BlockShorterThanASector", 100, 520, 512},
      {"LongerThanAnyBefore", 300 * 520, 520, 512},
      {"LargerTargetIsZeroFilledPerSector", 2 * 512, 512, 528},
      {"TinySectorsThreeToOne", 10, 3, 1},
      {"TinySectorsFourToSix", 10, 4, 6},
      {"EmptyBlock", 0, 520, 512},
  };
  std::vector<std::byte> reused(5000, std::byte{0xEE});
  unsigned seed = 1;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto in = block(r.n, seed++);
    std::vector<std::byte> fresh;
    ConvertSectors(in, r.s, r.t, fresh);
    EXPECT_EQ(
        fresh,
        layoutOracle(SectorLayout::DataFirst, static_cast<std::size_t>(r.s), static_cast<std::size_t>(r.t), in).image);
    ConvertSectors(in, r.s, r.t, reused);
    EXPECT_EQ(reused, fresh);
  }
}

TEST(ConvertSectors, SizesNotPositiveGiveAnEmptyResult) {
  for (auto [s, t] : {std::pair{0, 512}, {512, 0}, {-520, 512}, {520, -512}}) {
    std::vector<std::byte> out(5000, std::byte{0xEE});
    ConvertSectors(block(2048, 1), s, t, out);
    EXPECT_TRUE(out.empty()) << s << " to " << t;
  }
}

}  // namespace
}  // namespace mdi
