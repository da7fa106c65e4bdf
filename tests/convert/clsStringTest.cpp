#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "support/clsString.h"

namespace mdi {
namespace {

using S = StrError;
using Bytes = std::span<const std::byte>;

// `n` bytes of the values first, first + 1, ... (wrapping at 256).
std::vector<std::byte> run(std::size_t n, unsigned first = 0) {
  std::vector<std::byte> b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::byte>((first + i) & 0xFF);
  return b;
}

// The reference model: the content as a plain string, one character per
// byte, and the capacity as the longest content so far rounded up to whole
// chunks (exactly that length with a chunk of 0 or less). A refused call
// changes nothing.
struct Model {
  std::int32_t chunk;
  std::u16string text;
  std::int32_t capacity = 0;

  std::int32_t Length() const { return static_cast<std::int32_t>(text.size()); }
  StrError Append(Bytes bytes) {
    for (std::byte b : bytes) text.push_back(std::to_integer<char16_t>(b));
    if (Length() > capacity) capacity = chunk <= 0 ? Length() : (Length() + chunk - 1) / chunk * chunk;
    return S::None;
  }
  StrError Remove(std::int32_t index, std::int32_t count) {
    if (index < 0 || count < 0 || index > Length() || std::int64_t{index} + count > Length()) return S::IndexOutOfRange;
    text.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
    return S::None;
  }
};

// One script of appends and removes, each call checked against the model,
// for chunks around the growth's eight-character fill step, the default,
// and chunks of zero or fewer characters (the buffer grows exactly to what
// is needed, and nothing loops).
class ClsStringModel : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringModel, EveryCallMatchesTheModel) {
  clsString s;
  Model m{GetParam(), {}};
  ASSERT_EQ(s.ChunkSize(GetParam()), S::None);
  const auto step = [&](const char* what, auto call) {
    SCOPED_TRACE(what);
    EXPECT_EQ(call(s), call(m));
    EXPECT_EQ(s.Content(), std::u16string_view(m.text));
    EXPECT_EQ(s.Length(), m.Length());
    EXPECT_EQ(s.Capacity(), m.capacity);
  };
  const auto bytes = run(20000, 7);
  step("nothing appended", [](auto&) { return S::None; });
  step("no bytes", [](auto& x) { return x.Append({}); });
  step("every byte value", [](auto& x) { return x.Append(Bytes(run(256))); });
  step("remove the middle", [](auto& x) { return x.Remove(1, 1); });
  step("remove nothing at the end", [](auto& x) { return x.Remove(x.Length(), 0); });
  step("remove from past the end", [](auto& x) { return x.Remove(x.Length() + 1, 0); });
  step("remove past the end", [](auto& x) { return x.Remove(x.Length() - 1, 2); });
  step("remove before the start", [](auto& x) { return x.Remove(-1, 1); });
  step("remove a negative count", [](auto& x) { return x.Remove(1, -1); });
  step("remove an overflowing count", [](auto& x) { return x.Remove(1, INT32_MAX); });
  step("fill the chunk", [&](auto& x) { return x.Append(Bytes(bytes).first(8192 - 255)); });
  step("one past full", [&](auto& x) { return x.Append(Bytes(bytes).first(1)); });
  step("several chunks at once", [&](auto& x) { return x.Append(Bytes(bytes)); });
  step("remove all, capacity kept", [](auto& x) { return x.Remove(0, x.Length()); });
  for (unsigned i = 0; i < 300; ++i)
    step("many small pieces", [&](auto& x) { return x.Append(Bytes(run(i % 37 + 1, i))); });
}

INSTANTIATE_TEST_SUITE_P(Chunks, ClsStringModel,
                         ::testing::Values(3, 7, 9, 10, 16, 17, 25, 100, 8192, 0, -1, -8192, -1073741824),
                         [](const auto& info) {
                           return (info.param < 0 ? "minus" : "chunk") + std::to_string(std::abs(info.param));
                         });

// A new object grows by 8192 characters; a step whose bytes do not fit 32
// bits, and an append past 2147483647 bytes, are refused and change nothing.
TEST(ClsString, DefaultChunkAndOverflow) {
  clsString s;
  ASSERT_EQ(s.Append(Bytes(run(1))), S::None);
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.ChunkSize(1073741824), S::Overflow);
  EXPECT_EQ(s.ChunkSize(INT32_MIN), S::Overflow);
  ASSERT_EQ(s.Append(Bytes(run(8192))), S::None);
  EXPECT_EQ(s.Capacity(), 16384) << "a refused step leaves the one before";
  ASSERT_EQ(s.ChunkSize(1073741823), S::None);
  EXPECT_EQ(s.Append(Bytes(run(16384 - 8193 + 1))), S::Overflow);
  EXPECT_EQ(s.Length(), 8193);
  EXPECT_EQ(s.Capacity(), 16384);
  EXPECT_EQ(static_cast<int>(S::Overflow), 6);
  EXPECT_EQ(static_cast<int>(S::IndexOutOfRange), 9);
}

}  // namespace
}  // namespace mdi
