#include "support/ByteText.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace mdi {
namespace {

// Lengths and start offsets around the sixteen-byte step, so both the wide
// loop and the tail run, from aligned and unaligned addresses.
class ByteText : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ByteText, EveryByteValueSurvivesTheRoundTrip) {
  const std::size_t n = GetParam();
  for (std::size_t offset : {0u, 1u, 3u}) {
    std::vector<std::byte> in(n + offset);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::byte>((i * 37 + 200) & 0xFF);
    // A guard character after the text and a guard byte after the result
    // show that nothing is written past n.
    std::vector<char16_t> text(n + offset + 1, u'\xBEEF');
    widenBytes(in.data() + offset, text.data() + offset, n);
    for (std::size_t i = 0; i < n; ++i)
      ASSERT_EQ(text[offset + i], std::to_integer<char16_t>(in[offset + i])) << "n " << n << " at " << i;
    EXPECT_EQ(text[offset + n], u'\xBEEF');
    std::vector<std::byte> out(n + offset + 1, std::byte{0x5A});
    narrowChars(text.data() + offset, out.data() + offset, n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(out[offset + i], in[offset + i]) << "n " << n << " at " << i;
    EXPECT_EQ(out[offset + n], std::byte{0x5A});
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ByteText, ::testing::Values(0, 1, 7, 15, 16, 17, 31, 32, 33, 256, 1000),
                         [](const auto& info) { return "bytes" + std::to_string(info.param); });

}  // namespace
}  // namespace mdi
