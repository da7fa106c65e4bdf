#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/ConvertSectors.h"

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
// result vector starts out holding 5000 bytes of an earlier result.
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

// Walked sector by sector: a whole sector gives its first min(s, t) bytes,
// then zeros up to t; a trailing partial sector of r bytes its first min(t, r).
std::vector<std::size_t> expectedSources(std::size_t n, std::size_t s, std::size_t t) {
  std::vector<std::size_t> src;
  for (std::size_t p = 0; p < n; p += s) {
    const std::size_t r = std::min(s, n - p);
    for (std::size_t i = 0; i < std::min(r, t); ++i) src.push_back(p + i + 1);
    if (r == s) src.insert(src.end(), t > s ? t - s : 0, 0);
  }
  return src;
}

struct SizeCase {
  std::int32_t s, t;
  int sectors, tail;  // whole sectors, then tail bytes of a partial one
};
void PrintTo(const SizeCase& c, std::ostream* os) {
  *os << c.sectors << " sectors of " << c.s << " and " << c.tail << " bytes, to " << c.t;
}

class ConvertSectorsPairs : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ConvertSectorsPairs, EveryOutputByteComesFromItsSourcePosition) {
  const auto [s, t, sectors, tail] = GetParam();
  const std::size_t n = static_cast<std::size_t>(s) * sectors + static_cast<std::size_t>(tail);
  const std::vector<std::size_t> got = sourcesOf(n, s, t);
  const std::vector<std::size_t> want = expectedSources(n, s, t);
  ASSERT_EQ(got.size(), want.size());
  const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
  EXPECT_TRUE(diff.first == got.end()) << "output byte " << diff.first - got.begin() << " comes from " << *diff.first
                                       << ", not " << *diff.second << " (0: filled in)";
  // n whole sectors give exactly n target sectors, whatever the pair.
  EXPECT_EQ(got.size(), static_cast<std::size_t>(sectors) * t + std::min<std::size_t>(t, tail));
  if (s == t) { EXPECT_EQ(got.size(), n); }
}

std::vector<SizeCase> allCases() {
  std::vector<SizeCase> v{{3, 1, 3, 1}, {4, 6, 2, 2}, {1, 4, 5, 0}};  // tiny sizes as well
  for (std::int32_t s : {512, 520, 522, 524, 528})
    for (std::int32_t t : {512, 520, 522, 524, 528})
      for (int sectors : {1, 2, 128})
        for (int tail : {0, 1, 7, 480, 511, 515, 527})
          if (tail < s) v.push_back({s, t, sectors, tail});
  return v;
}

INSTANTIATE_TEST_SUITE_P(AllPairs, ConvertSectorsPairs, ::testing::ValuesIn(allCases()), [](const auto& info) {
  const SizeCase& c = info.param;
  return "s" + std::to_string(c.s) + "_t" + std::to_string(c.t) + "_m" + std::to_string(c.sectors) + "_r" +
         std::to_string(c.tail);
});

// The same, spelt out by hand: runs of source positions plus one (0: zeros).
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> want;
    for (const Run& r : c.runs)
      for (std::size_t i = 0; i < r.count; ++i) want.push_back(r.from ? r.from + i : 0);
    EXPECT_EQ(sourcesOf(c.n, c.s, c.t), want);
  }
}

TEST(ConvertSectors, EmptyBlockOrNonPositiveSizesGiveAnEmptyResult) {
  struct Case {
    const char* name;
    std::size_t n;
    std::int32_t s, t;
  };
  const Case cases[] = {{"EmptyBlock", 0, 520, 512},     {"ZeroIn", 2048, 0, 512},         {"ZeroOut", 2048, 512, 0},
                        {"NegativeIn", 2048, -520, 512}, {"NegativeOut", 2048, 520, -512}, {"BothZero", 2048, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::byte> out(10, std::byte{1});
    ConvertSectors(positionBlock(c.n, 0), c.s, c.t, out);
    EXPECT_TRUE(out.empty());
  }
}

}  // namespace
}  // namespace mdi
