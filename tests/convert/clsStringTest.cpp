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
std::vector<std::byte> byteValues() {  // 0 to 255
  std::vector<std::byte> b(256);
  for (int i = 0; i < 256; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::byte>(i);
  return b;
}
std::u16string charCodes(int below, bool ffff) {  // 0 to below - 1, then U+FFFF
  std::u16string t;
  for (int i = 0; i < below; ++i) t.push_back(static_cast<char16_t>(i));
  if (ffff) t.push_back(u'\xFFFF');
  return t;
}
// The growth step after which the next step takes the capacity past
// 2147483647 bytes.
clsString& hugeChunk(clsString& s) {
  EXPECT_EQ(s.ChunkSize(1073741823), S::None);
  return s;
}
StrError minimized(clsString& s, StrError before) {
  s.HeapMinimize();
  return before;
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
  ASSERT_EQ(s.Append(c.before), S::None);
  EXPECT_EQ(c.call(s), c.result);
  EXPECT_EQ(s.ToString(), c.after);
  EXPECT_EQ(s.Length(), static_cast<std::int32_t>(c.after.size()));
  EXPECT_EQ(s.Capacity(), c.capacity);
}

const std::u16string abc = u"abc";
const std::u16string full = chars(8192, u'f');

INSTANTIATE_TEST_SUITE_P(
    Calls, ClsStringCall,
    ::testing::Values(
        Call{"NewObjectIsEmpty", u"", CALL(S::None), S::None, u"", 0},
        Call{"AppendSmallPieceTakesOneChunk", u"", CALL(s.Append(abc)), S::None, abc, 8192},
        Call{"AppendLargePieceGrowsByWholeChunks", u"", CALL(s.Append(chars(20000, u'q'))), S::None, chars(20000, u'q'),
             24576},
        Call{"AppendExactlyOneChunk", u"", CALL(s.Append(chars(8192))), S::None, chars(8192), 8192},
        Call{"AppendToAFullBufferGrowsOneChunkNotDouble", chars(8192), CALL(s.Append(u"y")), S::None,
             chars(8192) + u"y", 16384},
        Call{"AppendFillingTheSecondChunk", chars(8192) + u"y", CALL(s.Append(chars(8191))), S::None,
             chars(8192) + u"y" + chars(8191), 16384},
        Call{"AppendEmptyPiece", u"ab", CALL(s.Append(u"")), S::None, u"ab", 8192},
        Call{"AppendByVal", u"ab", CALL(s.AppendByVal(u"c")), S::None, abc, 8192},
        Call{"AllCharacterCodesSurvive", charCodes(256, true), CALL(s.Append(charCodes(256, true))), S::None,
             charCodes(256, true) + charCodes(256, true), 8192},
        Call{"BytesAppendAsOneCharacterEach", u"ab", CALL(s.Append(Bytes(byteValues()))), S::None,
             u"ab" + charCodes(256, false), 8192},
        Call{"NoBytesAppendNothing", u"ab", CALL(s.Append(Bytes())), S::None, u"ab", 8192},
        Call{"ManyBytesGrowByWholeChunks", u"", CALL(s.Append(Bytes(std::vector<std::byte>(20000, std::byte{7})))),
             S::None, chars(20000, u'\x07'), 24576},
        Call{"BytesPastInt32AreRefused", full, CALL(hugeChunk(s).Append(Bytes(byteValues()).first(1))), S::Overflow,
             full, 8192},
        Call{"TextPastInt32IsRefused", full, CALL(hugeChunk(s).Append(u"x")), S::Overflow, full, 8192},
        Call{"InsertPastInt32IsRefused", full, CALL(hugeChunk(s).Insert(0, u"x")), S::Overflow, full, 8192},
        Call{"TheStringPastInt32IsRefused", full, CALL(hugeChunk(s).TheString(chars(8193))), S::Overflow, full, 8192},
        Call{"TheStringThatFitsNeedsNoGrowth", full, CALL(hugeChunk(s).TheString(u"ok")), S::None, u"ok", 8192},
        Call{"TheStringSetsWholeChunks", u"", CALL(s.TheString(chars(10000))), S::None, chars(10000), 16384},
        Call{"TheStringEmptyReleasesTheBuffer", chars(10000), CALL(s.TheString(u"")), S::None, u"", 0},
        Call{"TheStringNeverLowersCapacity", chars(20000), CALL(s.TheString(u"hi")), S::None, u"hi", 24576},
        Call{"InsertAtTheFront", abc, CALL(s.Insert(0, u"XY")), S::None, u"XYabc", 8192},
        Call{"InsertAtTheEnd", u"XYabc", CALL(s.Insert(s.Length(), u"Z")), S::None, u"XYabcZ", 8192},
        Call{"InsertByValInTheMiddle", u"XYabcZ", CALL(s.InsertByVal(3, u"--")), S::None, u"XYa--bcZ", 8192},
        Call{"InsertPastTheEndIsRefused", abc, CALL(s.Insert(4, u"Q")), S::IndexOutOfRange, abc, 8192},
        Call{"InsertBeforeTheStartIsRefused", abc, CALL(s.Insert(-1, u"Q")), S::IndexOutOfRange, abc, 8192},
        Call{"InsertIntoAnEmptyObject", u"", CALL(s.Insert(0, abc)), S::None, abc, 8192},
        Call{"InsertGrowsAcrossAChunkBoundary", chars(8190, u'a'), CALL(s.Insert(1, u"1234")), S::None,
             u"a1234" + chars(8189, u'a'), 16384},
        Call{"RemoveTheMiddleCharacter", abc, CALL(s.Remove(1, 1)), S::None, u"ac", 8192},
        Call{"RemovePastTheEndIsRefused", abc, CALL(s.Remove(2, 2)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveFromPastTheEndIsRefused", abc, CALL(s.Remove(4, 0)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveBeforeTheStartIsRefused", abc, CALL(s.Remove(-1, 1)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveANegativeCountIsRefused", abc, CALL(s.Remove(1, -1)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveAnOverflowingCountIsRefused", abc, CALL(s.Remove(1, INT32_MAX)), S::IndexOutOfRange, abc, 8192},
        Call{"RemoveNothingAtTheEnd", abc, CALL(s.Remove(3, 0)), S::None, abc, 8192},
        Call{"RemoveAll", abc, CALL(s.Remove(0, 3)), S::None, u"", 8192},
        Call{"RemoveKeepsTheCapacity", chars(5 * 8192), CALL(s.Remove(0, s.Length())), S::None, u"", 5 * 8192},
        Call{"HeapMinimizeTrimsToOneChunk", chars(5 * 8192), CALL(minimized(s, s.Remove(0, s.Length()))), S::None, u"",
             8192},
        Call{"HeapMinimizeLeavesAtMostOneChunkOfSpare", chars(30000, u'k'), CALL(minimized(s, s.Remove(100, 29000))),
             S::None, chars(1000, u'k'), 8192},
        Call{"HeapMinimizeTwiceHasNothingMoreToDo", chars(30000, u'k'),
             CALL(minimized(s, minimized(s, s.Remove(100, 29000)))), S::None, chars(1000, u'k'), 8192},
        Call{"HeapMinimizeWithSmallSpareDoesNothing", abc, CALL(minimized(s, S::None)), S::None, abc, 8192},
        Call{"ChunkOf100GrowsInHundreds", u"", CALL(s.Append(chars(250))), S::None, chars(250), 300, 100},
        Call{"ChunkOf100OnePastFull", chars(300), CALL(s.Append(u"!")), S::None, chars(300) + u"!", 400, 100}),
    [](const auto& info) { return std::string(info.param.name); });
#undef CALL

TEST(ClsString, ChunkSizeDefaultsTo8192AndRefusesOverflow) {
  clsString s;
  EXPECT_EQ(s.ChunkSize(), 8192);
  EXPECT_EQ(s.ChunkSize(100), S::None);
  EXPECT_EQ(s.ChunkSize(), 100);
  EXPECT_EQ(s.ChunkSize(1073741823), S::None);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
  EXPECT_EQ(s.ChunkSize(1073741824), S::Overflow);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
  EXPECT_EQ(s.ChunkSize(INT32_MIN), S::Overflow);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
  EXPECT_EQ(static_cast<int>(S::Overflow), 6);
  EXPECT_EQ(static_cast<int>(S::IndexOutOfRange), 9);
}

// 1-based positions in the whole buffer, spare room included, reported
// only below Length.
TEST(ClsString, FindCases) {
  struct Case {
    const char* name;
    std::u16string text;
    int removeFront;
    std::u16string needle;
    int start, compare, at;
  };
  const Case cases[] = {
      {"Found", abc, 0, u"b", 0, 0, 2},
      {"Missing", abc, 0, u"x", 0, 0, 0},
      {"CaseMatters", abc, 0, u"B", 1, 0, 0},
      {"CaseIgnored", abc, 0, u"B", 1, 1, 2},
      {"StartsLater", abc, 0, u"a", 2, 0, 0},
      {"StartBelowOneIsTheFirst", abc, 0, u"b", -5, 0, 2},
      {"LastCharacterSitsAtLength", abc, 0, u"c", 0, 0, 0},
      {"RunsIntoTheSpareSpaces", abc, 0, u"bc  ", 0, 0, 2},
      {"OnlySpareSpaces", abc, 0, u"   ", 0, 0, 0},
      {"LeftOversAfterRemoveAreSpare", abc, 1, u"cc", 0, 0, 0},  // buffer "bcc  ..."
      {"LeftOversFoundFromInside", abc, 1, u"bcc", 0, 0, 1},
      {"LatinLettersIgnoreCase", u"x\u00C9Zq", 0, u"\u00E9z", 1, 1, 2},
      {"LatinLettersKeepCase", u"x\u00C9Zq", 0, u"\u00E9z", 1, 0, 0},
      {"EmptyObject", u"", 0, u"p", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clsString s;
    ASSERT_EQ(s.Append(c.text), S::None);
    ASSERT_EQ(s.Remove(0, c.removeFront), S::None);
    EXPECT_EQ(s.Find(c.needle, c.start, c.compare), c.at);
  }
}

// Growth fills exactly the added room with spaces and keeps what was there,
// whatever the chunk's length.
class ClsStringGrowthFill : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringGrowthFill, AddedRoomIsSpacesUpToTheEnd) {
  const std::int32_t chunk = GetParam();
  clsString s;
  ASSERT_EQ(s.ChunkSize(chunk), S::None);
  ASSERT_EQ(s.Append(chars(static_cast<std::size_t>(chunk), u'a')), S::None);
  ASSERT_EQ(s.Append(u"bc"), S::None);  // a second chunk, spare chunk - 2
  ASSERT_EQ(s.Capacity(), 2 * chunk);
  const std::u16string spare(static_cast<std::size_t>(chunk - 2), u' ');
  EXPECT_EQ(s.Find(u"abc" + spare), chunk);    // from the last 'a' to the buffer's end
  EXPECT_EQ(s.Find(u"bc" + spare + u" "), 0);  // runs past the buffer
  EXPECT_EQ(s.ToString(), chars(static_cast<std::size_t>(chunk), u'a') + u"bc");
}

std::string chunkName(const ::testing::TestParamInfo<std::int32_t>& info) {
  return (info.param < 0 ? "minus" : "chunk") + std::to_string(info.param < 0 ? -info.param : info.param);
}
INSTANTIATE_TEST_SUITE_P(Chunks, ClsStringGrowthFill, ::testing::Values(3, 7, 9, 10, 16, 17, 25, 8192), chunkName);

// A chunk of zero or fewer characters grows the buffer exactly to the size
// needed and HeapMinimize trims all spare room; nothing loops.
class ClsStringTinyChunk : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringTinyChunk, GrowsExactlyAndNeverHangs) {
  const auto began = std::chrono::steady_clock::now();
  clsString s;
  ASSERT_EQ(s.ChunkSize(GetParam()), S::None);
  EXPECT_EQ(s.ChunkSize(), GetParam());
  ASSERT_EQ(s.Append(abc), S::None);
  EXPECT_EQ(s.Capacity(), 3);
  ASSERT_EQ(s.Append(u"de"), S::None);
  EXPECT_EQ(s.Capacity(), 5);
  ASSERT_EQ(s.Insert(1, u"XY"), S::None);
  EXPECT_EQ(s.ToString(), u"aXYbcde");
  EXPECT_EQ(s.Capacity(), 7);
  ASSERT_EQ(s.TheString(chars(10)), S::None);
  EXPECT_EQ(s.Capacity(), 10);
  ASSERT_EQ(s.TheString(u"pq"), S::None);
  EXPECT_EQ(s.Capacity(), 10);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 2);
  EXPECT_EQ(s.ToString(), u"pq");
  ASSERT_EQ(s.Remove(0, 2), S::None);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.Find(u"p"), 0);
  ASSERT_EQ(s.Append(u"z"), S::None);
  EXPECT_EQ(s.ToString(), u"z");
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(ZeroAndNegative, ClsStringTinyChunk, ::testing::Values(0, -1, -8192, -1073741824), chunkName);

TEST(ClsString, ManySmallAppendsMatchConcatenation) {
  clsString s;
  std::u16string expected;
  for (int i = 0; i < 500; ++i) {
    std::u16string piece(static_cast<std::size_t>(i % 37 + 1), static_cast<char16_t>(i));
    ASSERT_EQ(s.Append(piece), S::None);
    expected += piece;
  }
  EXPECT_EQ(s.ToString(), expected);
  EXPECT_EQ(s.Length(), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(s.Capacity() % 8192, 0);
  EXPECT_LT(s.Capacity() - s.Length(), 8192);
}

}  // namespace
}  // namespace mdi
