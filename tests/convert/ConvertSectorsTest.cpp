#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "engine/ConvertSectors.h"

namespace mdi {
namespace {

// Byte i of the block encodes its own position, so every output byte can be
// traced back to where it came from (positions are recovered from three
// parallel blocks: low byte, middle byte, high byte).
std::vector<std::byte> positionBlock(std::size_t n, int shift) {
  std::vector<std::byte> b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::byte>((i >> shift) & 0xFF);
  return b;
}

constexpr std::size_t kFill = SIZE_MAX;  // a zero byte filled in, from no source position

// Input position that output byte j must come from, walked sector by
// sector: a whole sector gives its first min(s, t) bytes and then zeros up
// to t; a trailing partial sector of r bytes gives its first min(t, r).
std::vector<std::size_t> expectedSources(std::size_t n, std::size_t s, std::size_t t) {
  std::vector<std::size_t> src;
  for (std::size_t p = 0; p < n; p += s) {
    const std::size_t r = std::min(s, n - p);
    for (std::size_t i = 0; i < std::min(r, t); ++i) src.push_back(p + i);
    if (r == s)
      for (std::size_t i = s; i < t; ++i) src.push_back(kFill);
  }
  return src;
}
std::size_t expectedLength(std::size_t n, std::size_t s, std::size_t t) { return expectedSources(n, s, t).size(); }

std::vector<std::byte> convert(const std::vector<std::byte>& in, std::int32_t s, std::int32_t t) {
  std::vector<std::byte> out;
  ConvertSectors(in, s, t, out);
  return out;
}

constexpr std::int32_t kSizes[] = {512, 520, 522, 524, 528};

using SizeCase = std::tuple<std::int32_t, std::int32_t, int, int>;  // s, t, sectors, tail bytes
class ConvertSectorsPairs : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ConvertSectorsPairs, EveryOutputByteComesFromItsSourcePosition) {
  const auto [s, t, sectors, tail] = GetParam();
  const std::size_t n = static_cast<std::size_t>(s) * sectors + static_cast<std::size_t>(tail);
  const std::size_t L = expectedLength(n, s, t);
  const std::vector<std::size_t> src = expectedSources(n, s, t);
  ASSERT_EQ(src.size(), L);

  const auto lo = convert(positionBlock(n, 0), s, t);
  const auto mid = convert(positionBlock(n, 8), s, t);
  const auto hi = convert(positionBlock(n, 16), s, t);
  ASSERT_EQ(lo.size(), L);
  ASSERT_EQ(mid.size(), L);
  ASSERT_EQ(hi.size(), L);
  for (std::size_t j = 0; j < L; ++j) {
    const std::size_t pos = std::to_integer<std::size_t>(lo[j]) |
                            (std::to_integer<std::size_t>(mid[j]) << 8) |
                            (std::to_integer<std::size_t>(hi[j]) << 16);
    if (src[j] == kFill) {
      ASSERT_EQ(pos, 0u) << "output byte " << j << " is filler";
    } else {
      ASSERT_EQ(pos, src[j]) << "output byte " << j;
    }
  }

  // n whole sectors give exactly n target sectors, whatever the pair.
  EXPECT_EQ(L, static_cast<std::size_t>(sectors) * t + std::min<std::size_t>(t, tail));
  if (s == t) {
    EXPECT_EQ(L, n);
  }
}

std::vector<SizeCase> allCases() {
  std::vector<SizeCase> v;
  for (auto s : kSizes)
    for (auto t : kSizes)
      for (int sectors : {1, 2, 128})
        for (int tail : {0, 1, 7, 480, 511, 515, 527})
          if (tail < s) v.emplace_back(s, t, sectors, tail);
  return v;
}

INSTANTIATE_TEST_SUITE_P(AllPairs, ConvertSectorsPairs, ::testing::ValuesIn(allCases()),
                         [](const auto& info) {
                           return "s" + std::to_string(std::get<0>(info.param)) + "_t" +
                                  std::to_string(std::get<1>(info.param)) + "_m" +
                                  std::to_string(std::get<2>(info.param)) + "_r" +
                                  std::to_string(std::get<3>(info.param));
                         });

TEST(ConvertSectors, Block520To512KeepsFirst512OfEachSector) {
  const auto in = positionBlock(66560, 0);
  const auto out = convert(in, 520, 512);
  ASSERT_EQ(out.size(), 65536u);
  for (std::size_t k = 0; k < 128; ++k)
    for (std::size_t i = 0; i < 512; ++i)
      ASSERT_EQ(out[512 * k + i], in[520 * k + i]) << "sector " << k << " byte " << i;
}

TEST(ConvertSectors, Block522To512) {
  const auto in = positionBlock(133632, 0);
  const auto out = convert(in, 522, 512);
  ASSERT_EQ(out.size(), 131072u);
  for (std::size_t k = 0; k < 256; ++k)
    for (std::size_t i = 0; i < 512; ++i)
      ASSERT_EQ(out[512 * k + i], in[522 * k + i]);
}

TEST(ConvertSectors, SingleSectorToLargerTargetIsZeroFilled) {
  const auto in = positionBlock(512, 0);
  auto want = in;
  want.resize(520, std::byte{0});
  EXPECT_EQ(convert(in, 512, 520), want);
}

TEST(ConvertSectors, PartialTrailingSectorComesOutWhole) {
  const auto in = positionBlock(1000, 0);
  const auto out = convert(in, 520, 512);
  ASSERT_EQ(out.size(), 992u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 512, in.begin()));
  EXPECT_TRUE(std::equal(out.begin() + 512, out.end(), in.begin() + 520));
}

TEST(ConvertSectors, TwoSectorsToLargerTargetNeverRunIntoEachOther) {
  std::vector<std::byte> in(1024);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::byte>((i * 7 + i / 256) | 1);
  const auto out = convert(in, 512, 520);
  ASSERT_EQ(out.size(), 1040u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 512, in.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 512, out.begin() + 520, [](std::byte b) { return b == std::byte{0}; }));
  EXPECT_TRUE(std::equal(out.begin() + 520, out.begin() + 1032, in.begin() + 512));
  EXPECT_TRUE(std::all_of(out.begin() + 1032, out.end(), [](std::byte b) { return b == std::byte{0}; }));
}

TEST(ConvertSectors, EqualSizesReturnTheBlock) {
  for (auto s : kSizes) {
    const auto in = positionBlock(static_cast<std::size_t>(s) * 40 + 3, 0);
    EXPECT_EQ(convert(in, s, s), in) << s;
  }
}

TEST(ConvertSectors, EveryByteValueSurvives) {
  // Every value 0..255, NUL included, in every position of a sector.
  std::vector<std::byte> in(520 * 256);
  for (std::size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<std::byte>((i + i / 520) & 0xFF);
  const auto out = convert(in, 520, 512);
  ASSERT_EQ(out.size(), 512u * 256);
  std::vector<int> seen(256, 0);
  for (std::size_t k = 0; k < 256; ++k)
    for (std::size_t i = 0; i < 512; ++i) {
      ASSERT_EQ(out[512 * k + i], in[520 * k + i]);
      ++seen[std::to_integer<int>(out[512 * k + i])];
    }
  for (int v = 0; v < 256; ++v) EXPECT_EQ(seen[v], 512) << v;
  const auto same = convert(in, 520, 520);
  EXPECT_EQ(same, in);
}

TEST(ConvertSectors, ReplacesEarlierResult) {
  std::vector<std::byte> out(5000, std::byte{0xEE});
  const auto in = positionBlock(1040, 0);
  ConvertSectors(in, 520, 512, out);
  ASSERT_EQ(out.size(), 1024u);
  EXPECT_TRUE(std::equal(out.begin() + 512, out.end(), in.begin() + 520));
  ConvertSectors(std::span<const std::byte>(in.data(), 100), 520, 512, out);
  ASSERT_EQ(out.size(), 100u);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
}

TEST(ConvertSectors, EmptyBlockGivesEmptyResult) {
  std::vector<std::byte> out(10, std::byte{1});
  ConvertSectors({}, 520, 512, out);
  EXPECT_TRUE(out.empty());
}

TEST(ConvertSectors, NonPositiveSectorSizesGiveEmptyResult) {
  const auto in = positionBlock(2048, 0);
  for (auto [s, t] : {std::pair{0, 512}, {512, 0}, {-520, 512}, {520, -512}, {0, 0}}) {
    std::vector<std::byte> out(10, std::byte{1});
    ConvertSectors(in, s, t, out);
    EXPECT_TRUE(out.empty()) << s << " " << t;
  }
}

TEST(ConvertSectors, TinySectorSizesStillExact) {
  const auto in = positionBlock(10, 0);
  const auto out = convert(in, 3, 1);  // bytes 0, 3, 6, 9
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(std::to_integer<int>(out[0]), 0);
  EXPECT_EQ(std::to_integer<int>(out[1]), 3);
  EXPECT_EQ(std::to_integer<int>(out[2]), 6);
  EXPECT_EQ(std::to_integer<int>(out[3]), 9);
  const auto wide = convert(in, 4, 6);  // 0..3 0 0, 4..7 0 0, 8..9
  ASSERT_EQ(wide.size(), expectedLength(10, 4, 6));
  EXPECT_EQ(wide.size(), 14u);
}

}  // namespace
}  // namespace mdi
