#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "convert/ConvertSectors.h"

namespace mdi {
namespace {

// Byte i of a block holds its position plus one, spread over three parallel
// blocks (low, middle, high byte), so every output byte is traced back to
// where it came from, and a filled-in zero (position 0) to no byte at all.
std::vector<std::byte> positionBlock(std::size_t n, int shift) {
  std::vector<std::byte> b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::byte>(((i + 1) >> shift) & 0xFF);
  return b;
}

// The converted block, as positions plus one; 0 for a filled-in zero. The
// result vector starts out holding 5000 bytes of an earlier result, so a
// byte the conversion leaves unwritten shows up as 0xEE.
std::vector<std::size_t> sourcesOf(std::size_t n, std::int32_t s, std::int32_t t) {
  std::vector<std::size_t> pos;
  for (int shift : {0, 8, 16}) {
    std::vector<std::byte> out(5000, std::byte{0xEE});
    ConvertSectors(positionBlock(n, shift), s, t, out);
    pos.resize(out.size());
    for (std::size_t j = 0; j < out.size(); ++j) pos[j] |= std::to_integer<std::size_t>(out[j]) << shift;
  }
  return pos;
}

// Known blocks, as runs of source positions plus one (0: zeros). Every pair
// of real sector sizes, with whole and partial last sectors, is converted
// against the layouts' oracle in SectorLayoutTest (Data first is this
// conversion) and end to end in MutateRunTest.
TEST(ConvertSectors, KnownBlocksByHand) {
  struct Run {
    std::size_t from, count;
  };
  struct Case {
    const char* name;
    std::size_t n;
    std::int32_t s, t;
    std::vector<Run> runs;
  };
  const Case cases[] = {
      {"520To512KeepsFirst512", 1040, 520, 512, {{1, 512}, {521, 512}}},
      {"PartialTrailingSectorComesOutWhole", 1000, 520, 512, {{1, 512}, {521, 480}}},
      {"BlockShorterThanASector", 100, 520, 512, {{1, 100}}},
      {"SingleSectorToLargerTargetIsZeroFilled", 512, 512, 520, {{1, 512}, {0, 8}}},
      {"TwoSectorsToLargerTargetNeverRunIntoEachOther", 1024, 512, 520, {{1, 512}, {0, 8}, {513, 512}, {0, 8}}},
      {"TinySectorsThreeToOne", 10, 3, 1, {{1, 1}, {4, 1}, {7, 1}, {10, 1}}},
      {"TinySectorsFourToSix", 10, 4, 6, {{1, 4}, {0, 2}, {5, 4}, {0, 2}, {9, 2}}},
      // An empty block, or sizes that are not positive, give an empty result.
      {"EmptyBlock", 0, 520, 512, {}},
      {"ZeroIn", 2048, 0, 512, {}},
      {"ZeroOut", 2048, 512, 0, {}},
      {"NegativeIn", 2048, -520, 512, {}},
      {"NegativeOut", 2048, 520, -512, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> want;
    for (const Run& r : c.runs)
      for (std::size_t i = 0; i < r.count; ++i) want.push_back(r.from ? r.from + i : 0);
    EXPECT_EQ(sourcesOf(c.n, c.s, c.t), want);
  }
}

}  // namespace
}  // namespace mdi
