#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "support/clsString.h"

namespace mdi {
namespace {

using S = StrError;
using Bytes = std::span<const std::byte>;

std::u16string chars(std::size_t n, char16_t c = u'x') { return std::u16string(n, c); }
// Each character as one byte of its value (all characters here are below 256).
std::vector<std::byte> bytesOf(std::u16string_view text) {
  std::vector<std::byte> b;
  for (char16_t c : text) b.push_back(static_cast<std::byte>(c));
  return b;
}
std::vector<std::byte> byteValues() {  // 0 to 255
  std::vector<std::byte> b(256);
  for (int i = 0; i < 256; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::byte>(i);
  return b;
}
std::u16string charCodes(int below) {  // 0 to below - 1
  std::u16string t;
  for (int i = 0; i < below; ++i) t.push_back(static_cast<char16_t>(i));
  return t;
}
StrError append(clsString& s, std::u16string_view text) { return s.Append(Bytes(bytesOf(text))); }
std::u16string content(const clsString& s) { return std::u16string(s.Content()); }
// The growth step after which the next step takes the capacity past
// 2147483647 bytes.
clsString& hugeChunk(clsString& s) {
  EXPECT_EQ(s.ChunkSize(1073741823), S::None);
  return s;
}

// One call on an object that holds `before` (appended in one piece, with
// the default chunk unless `chunk` says otherwise): its result, the content
// and length after it, and the capacity. A refused call changes nothing.
struct Call {
  const char* name;
  std::u16string before;
  std::function<StrError(clsString&)> call;
  StrError result;
  std::u16string after;
  std::int32_t capacity;
  std::optional<std::int32_t> chunk = std::nullopt;
};
void PrintTo(const Call& c, std::ostream* os) { *os << c.name; }
#define CALL(expr) []([[maybe_unused]] clsString& s) { return expr; }

class ClsStringCall : public ::testing::TestWithParam<Call> {};

TEST_P(ClsStringCall, GivesItsResultContentAndCapacity) {
  const Call& c = GetParam();
  clsString s;
  if (c.chunk) { ASSERT_EQ(s.ChunkSize(*c.chunk), S::None); }
  ASSERT_EQ(append(s, c.before), S::None);
  EXPECT_EQ(c.call(s), c.result);
  EXPECT_EQ(content(s), c.after);
  EXPECT_EQ(s.Length(), static_cast<std::int32_t>(c.after.size()));
  EXPECT_EQ(s.Capacity(), c.capacity);
}

const std::u16string abc = u"abc";
const std::u16string full = chars(8192, u'f');

INSTANTIATE_TEST_SUITE_P(
    Calls, ClsStringCall,
    ::testing::Values(
        Call{"NewObjectIsEmpty", u"", CALL(S::None), S::None, u"", 0},
        Call{"AppendSmallPieceTakesOneChunk", u"", CALL(append(s, abc)), S::None, abc, 8192},
        Call{"AppendLargePieceGrowsByWholeChunks", u"", CALL(append(s, chars(20000, u'q'))), S::None,
             chars(20000, u'q'), 24576},
        Call{"AppendExactlyOneChunk", u"", CALL(append(s, chars(8192))), S::None, chars(8192), 8192},
        Call{"AppendToAFullBufferGrowsOneChunkNotDouble", chars(8192), CALL(append(s, u"y")), S::None,
             chars(8192) + u"y", 16384},
        Call{"AppendFillingTheSecondChunk", chars(8192) + u"y", CALL(append(s, chars(8191))), S::None,
             chars(8192) + u"y" + chars(8191), 16384},
        Call{"NoBytesAppendNothing", u"ab", CALL(s.Append(Bytes())), S::None, u"ab", 8192},
        Call{"BytesAppendAsOneCharacterEach", u"ab", CALL(s.Append(Bytes(byteValues()))), S::None,
             u"ab" + charCodes(256), 8192},
        Call{"BytesPastInt32AreRefused", full, CALL(hugeChunk(s).Append(Bytes(byteValues()).first(1))), S::Overflow,
             full, 8192},
        Call{"RemoveTheMiddleCharacter", abc, CALL(s.Remove(1, 1)), S::None, u"ac", 8192},
        Call{"RemovePastTheEndIsRefused", abc, CALL(s.Remove(2, 2)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveFromPastTheEndIsRefused", abc, CALL(s.Remove(4, 0)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveBeforeTheStartIsRefused", abc, CALL(s.Remove(-1, 1)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveANegativeCountIsRefused", abc, CALL(s.Remove(1, -1)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveAnOverflowingCountIsRefused", abc, CALL(s.Remove(1, INT32_MAX)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveNothingAtTheEnd", abc, CALL(s.Remove(3, 0)), S::None, abc, 8192},
        Call{"RemoveAll", abc, CALL(s.Remove(0, 3)), S::None, u"", 8192},
        Call{"RemoveKeepsTheCapacity", chars(5 * 8192), CALL(s.Remove(0, s.Length())), S::None, u"", 5 * 8192},
        Call{"ChunkOf100GrowsInHundreds", u"", CALL(append(s, chars(250))), S::None, chars(250), 300, 100},
        Call{"ChunkOf100OnePastFull", chars(300), CALL(append(s, u"!")), S::None, chars(300) + u"!", 400, 100}),
    [](const auto& info) { return std::string(info.param.name); });
#undef CALL

// The step is seen in the capacity that one appended byte takes.
TEST(ClsString, ChunkSizeDefaultsTo8192AndRefusesOverflow) {
  const auto grownBy = [](clsString& s) {
    const std::int32_t before = s.Capacity();
    EXPECT_EQ(append(s, chars(static_cast<std::size_t>(before - s.Length() + 1))), S::None);
    return s.Capacity() - before;
  };
  clsString s;
  EXPECT_EQ(grownBy(s), 8192);
  EXPECT_EQ(s.ChunkSize(100), S::None);
  EXPECT_EQ(grownBy(s), 100);
  EXPECT_EQ(s.ChunkSize(1073741824), S::Overflow);
  EXPECT_EQ(s.ChunkSize(INT32_MIN), S::Overflow);
  EXPECT_EQ(grownBy(s), 100) << "a refused step leaves the one before";
  EXPECT_EQ(s.ChunkSize(1073741823), S::None);
  EXPECT_EQ(static_cast<int>(S::Overflow), 6);
  EXPECT_EQ(static_cast<int>(S::IndexOutOfRange), 9);
}

// Growth keeps what was there and adds exactly whole chunks, whatever the
// chunk's length (the added room is filled eight characters a step where
// the CPU allows, and must end at the buffer's end).
class ClsStringGrowth : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringGrowth, AddsWholeChunksAndKeepsTheContent) {
  const std::int32_t chunk = GetParam();
  clsString s;
  ASSERT_EQ(s.ChunkSize(chunk), S::None);
  ASSERT_EQ(append(s, chars(static_cast<std::size_t>(chunk), u'a')), S::None);
  ASSERT_EQ(append(s, u"bc"), S::None);  // a second chunk, spare chunk - 2
  EXPECT_EQ(s.Capacity(), 2 * chunk);
  EXPECT_EQ(content(s), chars(static_cast<std::size_t>(chunk), u'a') + u"bc");
}

std::string chunkName(const ::testing::TestParamInfo<std::int32_t>& info) {
  return (info.param < 0 ? "minus" : "chunk") + std::to_string(info.param < 0 ? -info.param : info.param);
}
INSTANTIATE_TEST_SUITE_P(Chunks, ClsStringGrowth, ::testing::Values(3, 7, 9, 10, 16, 17, 25, 8192), chunkName);

// A chunk of zero or fewer characters grows the buffer exactly to the size
// needed; nothing loops.
class ClsStringTinyChunk : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringTinyChunk, GrowsExactlyAndNeverHangs) {
  const auto began = std::chrono::steady_clock::now();
  clsString s;
  ASSERT_EQ(s.ChunkSize(GetParam()), S::None);
  ASSERT_EQ(append(s, abc), S::None);
  EXPECT_EQ(s.Capacity(), 3);
  ASSERT_EQ(append(s, u"de"), S::None);
  EXPECT_EQ(s.Capacity(), 5);
  ASSERT_EQ(s.Remove(0, 5), S::None);
  EXPECT_EQ(s.Capacity(), 5);
  ASSERT_EQ(append(s, u"z"), S::None);
  EXPECT_EQ(content(s), u"z");
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(ZeroAndNegative, ClsStringTinyChunk, ::testing::Values(0, -1, -8192, -1073741824), chunkName);

TEST(ClsString, ManySmallAppendsMatchConcatenation) {
  clsString s;
  std::u16string expected;
  for (int i = 0; i < 500; ++i) {
    std::u16string piece(static_cast<std::size_t>(i % 37 + 1), static_cast<char16_t>(i % 256));
    ASSERT_EQ(append(s, piece), S::None);
    expected += piece;
  }
  EXPECT_EQ(content(s), expected);
  EXPECT_EQ(s.Length(), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(s.Capacity() % 8192, 0);
  EXPECT_LT(s.Capacity() - s.Length(), 8192);
}

}  // namespace
}  // namespace mdi
