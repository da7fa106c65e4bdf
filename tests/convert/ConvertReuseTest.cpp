// A builder kept from block to block converts each block exactly as a fresh
// one would, whether the block is longer than the last (the builder grows)
// or shorter (the last block's characters are still in its spare room).
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "engine/ConvertSectors.h"
#include "support/clsString.h"

namespace mdi {
namespace {

std::vector<std::byte> block(std::size_t n, unsigned seed) {
  std::vector<std::byte> b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::byte>((i * 7 + seed) & 0xFF);
  return b;
}

TEST(ConvertSectorsReuse, AKeptBuilderGivesWhatAFreshOneGives) {
  struct Step {
    std::size_t bytes;
    std::int32_t s, t;
  };
  // Long, shorter, a partial sector, longer than any before, then empty.
  const std::vector<Step> steps{{128 * 520, 520, 512}, {3 * 520, 520, 512}, {520 + 100, 520, 512},
                                {300 * 520, 520, 512}, {2 * 512, 512, 528}, {0, 520, 512}};
  clsString kept;
  std::vector<std::byte> reused;
  unsigned seed = 1;
  for (const Step& st : steps) {
    SCOPED_TRACE(std::to_string(st.bytes) + " bytes, " + std::to_string(st.s) + " to " + std::to_string(st.t));
    const auto in = block(st.bytes, seed++);
    std::vector<std::byte> fresh;
    ConvertSectors(in, st.s, st.t, fresh);
    ConvertSectors(in, st.s, st.t, reused, kept);
    EXPECT_EQ(reused, fresh);
  }
}

}  // namespace
}  // namespace mdi
