#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "support/clsString.h"

namespace mdi {
namespace {

std::u16string chars(std::size_t n, char16_t c = u'x') { return std::u16string(n, c); }

TEST(ClsString, NewObjectIsEmptyWithDefaultChunk) {
  clsString s;
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.ChunkSize(), 8192);
  EXPECT_TRUE(s.ToString().empty());
}

TEST(ClsString, AppendSmallPieceTakesOneChunk) {
  clsString s;
  EXPECT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Length(), 3);
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.ToString(), u"abc");
}

TEST(ClsString, AppendLargePieceGrowsByWholeChunks) {
  clsString s;
  const std::u16string big = chars(20000, u'q');
  EXPECT_EQ(s.Append(big), StrError::None);
  EXPECT_EQ(s.Length(), 20000);
  EXPECT_EQ(s.Capacity(), 24576);
  EXPECT_EQ(s.ToString(), big);
}

TEST(ClsString, AppendGrowsOneChunkWhenFull) {
  clsString s;
  ASSERT_EQ(s.Append(chars(8192)), StrError::None);
  EXPECT_EQ(s.Capacity(), 8192);
  ASSERT_EQ(s.Append(u"y"), StrError::None);
  EXPECT_EQ(s.Capacity(), 16384);  // one more chunk, not doubled
  ASSERT_EQ(s.Append(chars(8191)), StrError::None);
  EXPECT_EQ(s.Capacity(), 16384);
  ASSERT_EQ(s.Append(u"z"), StrError::None);
  EXPECT_EQ(s.Capacity(), 24576);
  EXPECT_EQ(s.Length(), 16385);
  const std::u16string all = s.ToString();
  EXPECT_EQ(all[8192], u'y');
  EXPECT_EQ(all[16384], u'z');
}

TEST(ClsString, AppendByValAndEmptyPiece) {
  clsString s;
  EXPECT_EQ(s.AppendByVal(u"ab"), StrError::None);
  EXPECT_EQ(s.Append(u""), StrError::None);
  EXPECT_EQ(s.AppendByVal(u"c"), StrError::None);
  EXPECT_EQ(s.ToString(), u"abc");
}

TEST(ClsString, AllCharacterCodesSurvive) {
  clsString s;
  std::u16string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char16_t>(i));
  all.push_back(u'\xFFFF');
  ASSERT_EQ(s.Append(all), StrError::None);
  ASSERT_EQ(s.Append(all), StrError::None);
  EXPECT_EQ(s.ToString(), all + all);
  EXPECT_EQ(s.Length(), 514);
}

// Raw bytes go in as text, one character per byte, and grow the buffer the
// same way text does.
TEST(ClsString, BytesAppendAsOneCharacterEach) {
  clsString s;
  std::vector<std::byte> bytes(256);
  std::u16string expected = u"ab";
  for (int i = 0; i < 256; ++i) {
    bytes[static_cast<std::size_t>(i)] = static_cast<std::byte>(i);
    expected.push_back(static_cast<char16_t>(i));
  }
  ASSERT_EQ(s.Append(u"ab"), StrError::None);
  ASSERT_EQ(s.Append(std::span<const std::byte>(bytes)), StrError::None);
  ASSERT_EQ(s.Append(std::span<const std::byte>()), StrError::None);
  ASSERT_EQ(s.Append(u"z"), StrError::None);
  expected += u"z";
  EXPECT_EQ(s.ToString(), expected);
  EXPECT_EQ(s.Length(), 259);
  EXPECT_EQ(s.Capacity(), 8192);

  clsString big;
  ASSERT_EQ(big.Append(std::span<const std::byte>(std::vector<std::byte>(20000, std::byte{7}))), StrError::None);
  EXPECT_EQ(big.Capacity(), 24576);
  EXPECT_EQ(big.ToString(), chars(20000, u'\x07'));
}

TEST(ClsString, BytesThatWouldOverflowAreRefusedUnchanged) {
  clsString s;
  ASSERT_EQ(s.Append(chars(8192, u'f')), StrError::None);
  ASSERT_EQ(s.ChunkSize(1073741823), StrError::None);
  const std::byte one[1] = {std::byte{1}};
  EXPECT_EQ(s.Append(std::span<const std::byte>(one)), StrError::Overflow);
  EXPECT_EQ(s.ToString(), chars(8192, u'f'));
  EXPECT_EQ(s.Capacity(), 8192);
}

// Growth fills exactly the added room with spaces and keeps what was there,
// whatever the chunk's length.
class ClsStringGrowthFill : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringGrowthFill, AddedRoomIsSpacesUpToTheEnd) {
  const std::int32_t chunk = GetParam();
  clsString s;
  ASSERT_EQ(s.ChunkSize(chunk), StrError::None);
  ASSERT_EQ(s.Append(chars(static_cast<std::size_t>(chunk), u'a')), StrError::None);
  ASSERT_EQ(s.Append(u"bc"), StrError::None);  // a second chunk, spare chunk - 2
  ASSERT_EQ(s.Capacity(), 2 * chunk);
  const std::u16string spare(static_cast<std::size_t>(chunk - 2), u' ');
  EXPECT_EQ(s.Find(u"abc" + spare), chunk);  // from the last 'a' to the buffer's end
  EXPECT_EQ(s.Find(u"bc" + spare + u" "), 0);  // runs past the buffer
  EXPECT_EQ(s.ToString(), chars(static_cast<std::size_t>(chunk), u'a') + u"bc");
}

INSTANTIATE_TEST_SUITE_P(Chunks, ClsStringGrowthFill, ::testing::Values(3, 7, 9, 10, 16, 17, 25, 8192));

TEST(ClsString, TheStringSetsAndEmptyReleases) {
  clsString s;
  EXPECT_EQ(s.TheString(chars(10000)), StrError::None);
  EXPECT_EQ(s.Capacity(), 16384);
  EXPECT_EQ(s.Length(), 10000);
  EXPECT_EQ(s.TheString(u""), StrError::None);
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_TRUE(s.ToString().empty());
}

TEST(ClsString, TheStringNeverLowersCapacity) {
  clsString s;
  ASSERT_EQ(s.TheString(chars(20000)), StrError::None);
  EXPECT_EQ(s.Capacity(), 24576);
  ASSERT_EQ(s.TheString(u"hi"), StrError::None);
  EXPECT_EQ(s.Capacity(), 24576);
  EXPECT_EQ(s.ToString(), u"hi");
}

TEST(ClsString, InsertAtFrontMiddleAndEnd) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Insert(0, u"XY"), StrError::None);
  EXPECT_EQ(s.ToString(), u"XYabc");
  EXPECT_EQ(s.Insert(s.Length(), u"Z"), StrError::None);
  EXPECT_EQ(s.ToString(), u"XYabcZ");
  EXPECT_EQ(s.InsertByVal(3, u"--"), StrError::None);
  EXPECT_EQ(s.ToString(), u"XYa--bcZ");
  EXPECT_EQ(s.Length(), 8);
}

TEST(ClsString, InsertOutOfRangeFailsAndChangesNothing) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Insert(s.Length() + 1, u"Q"), StrError::IndexOutOfRange);
  EXPECT_EQ(static_cast<int>(StrError::IndexOutOfRange), 9);
  EXPECT_EQ(s.Insert(-1, u"Q"), StrError::IndexOutOfRange);
  EXPECT_EQ(s.ToString(), u"abc");
  EXPECT_EQ(s.Capacity(), 8192);
}

TEST(ClsString, InsertIntoEmptyObject) {
  clsString s;
  EXPECT_EQ(s.Insert(0, u"abc"), StrError::None);
  EXPECT_EQ(s.ToString(), u"abc");
  EXPECT_EQ(s.Capacity(), 8192);
}

TEST(ClsString, InsertGrowsAcrossChunkBoundary) {
  clsString s;
  ASSERT_EQ(s.Append(chars(8190, u'a')), StrError::None);
  ASSERT_EQ(s.Insert(1, u"1234"), StrError::None);
  EXPECT_EQ(s.Capacity(), 16384);
  EXPECT_EQ(s.Length(), 8194);
  const std::u16string all = s.ToString();
  EXPECT_EQ(all.substr(0, 6), u"a1234a");
  EXPECT_EQ(all.back(), u'a');
}

TEST(ClsString, RemoveMiddleCharacter) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Remove(1, 1), StrError::None);
  EXPECT_EQ(s.ToString(), u"ac");
  EXPECT_EQ(s.Capacity(), 8192);
}

TEST(ClsString, RemoveOutOfRangeFailsAndChangesNothing) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Remove(2, 2), StrError::IndexOutOfRange);
  EXPECT_EQ(s.Remove(4, 0), StrError::IndexOutOfRange);
  EXPECT_EQ(s.Remove(-1, 1), StrError::IndexOutOfRange);
  EXPECT_EQ(s.Remove(1, -1), StrError::IndexOutOfRange);
  EXPECT_EQ(s.Remove(1, INT32_MAX), StrError::IndexOutOfRange);
  EXPECT_EQ(s.ToString(), u"abc");
  EXPECT_EQ(s.Remove(3, 0), StrError::None);
  EXPECT_EQ(s.Remove(0, 3), StrError::None);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 8192);
}

TEST(ClsString, RemoveKeepsCapacityAndHeapMinimizeTrims) {
  clsString s;
  ASSERT_EQ(s.Append(chars(5 * 8192)), StrError::None);
  EXPECT_EQ(s.Capacity(), 5 * 8192);
  ASSERT_EQ(s.Remove(0, s.Length()), StrError::None);
  EXPECT_EQ(s.Capacity(), 5 * 8192);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.Length(), 0);
}

TEST(ClsString, HeapMinimizeLeavesAtMostOneChunkOfSpare) {
  clsString s;
  ASSERT_EQ(s.Append(chars(30000, u'k')), StrError::None);  // capacity 32768
  ASSERT_EQ(s.Remove(100, 29000), StrError::None);          // length 1000
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_LE(s.Capacity() - s.Length(), s.ChunkSize());
  EXPECT_EQ(s.ToString(), chars(1000, u'k'));
  s.HeapMinimize();  // nothing more to do
  EXPECT_EQ(s.Capacity(), 8192);
}

TEST(ClsString, HeapMinimizeWithSmallSpareDoesNothing) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.ToString(), u"abc");
}

TEST(ClsString, FindCases) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Find(u"b"), 2);
  EXPECT_EQ(s.Find(u"x"), 0);
  EXPECT_EQ(s.Find(u"B", 1, 0), 0);
  EXPECT_EQ(s.Find(u"B", 1, 1), 2);
  EXPECT_EQ(s.Find(u"a", 2), 0);
  EXPECT_EQ(s.Find(u"b", -5), 2);  // a start below 1 searches from the first character
}

TEST(ClsString, FindReportsOnlyPositionsBelowLength) {
  clsString s;
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  // The last character alone sits at position Length: not reported.
  EXPECT_EQ(s.Find(u"c"), 0);
  // The spare room holds spaces: a text running into it is found from inside.
  EXPECT_EQ(s.Find(u"bc  "), 2);
  EXPECT_EQ(s.Find(u"   "), 0);
  // Left-over characters after a Remove are in the spare room.
  ASSERT_EQ(s.Remove(0, 1), StrError::None);  // content "bc", buffer "bcc  ..."
  EXPECT_EQ(s.Find(u"cc"), 0);                // position 2 is not below Length 2
  EXPECT_EQ(s.Find(u"bcc"), 1);
}

TEST(ClsString, FindIgnoresCaseOfLatinLetters) {
  clsString s;
  ASSERT_EQ(s.Append(u"x\u00C9Zq"), StrError::None);
  EXPECT_EQ(s.Find(u"\u00E9z", 1, 1), 2);
  EXPECT_EQ(s.Find(u"\u00E9z", 1, 0), 0);
}

TEST(ClsString, ChunkSizeSetChangesGrowthStep) {
  clsString s;
  EXPECT_EQ(s.ChunkSize(100), StrError::None);
  EXPECT_EQ(s.ChunkSize(), 100);
  ASSERT_EQ(s.Append(chars(250)), StrError::None);
  EXPECT_EQ(s.Capacity(), 300);
  ASSERT_EQ(s.Append(chars(50)), StrError::None);
  EXPECT_EQ(s.Capacity(), 300);
  ASSERT_EQ(s.Append(u"!"), StrError::None);
  EXPECT_EQ(s.Capacity(), 400);
}

TEST(ClsString, ChunkSizeOverflowIsRefused) {
  clsString s;
  EXPECT_EQ(s.ChunkSize(1073741823), StrError::None);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
  EXPECT_EQ(s.ChunkSize(1073741824), StrError::Overflow);
  EXPECT_EQ(static_cast<int>(StrError::Overflow), 6);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
  EXPECT_EQ(s.ChunkSize(INT32_MIN), StrError::Overflow);
  EXPECT_EQ(s.ChunkSize(), 1073741823);
}

TEST(ClsString, GrowthBeyondInt32BytesIsRefusedUnchanged) {
  clsString s;
  ASSERT_EQ(s.Append(chars(8192, u'f')), StrError::None);
  // The next growth step would take the capacity past 2147483647 bytes.
  ASSERT_EQ(s.ChunkSize(1073741823), StrError::None);
  EXPECT_EQ(s.Append(u"x"), StrError::Overflow);
  EXPECT_EQ(s.Insert(0, u"x"), StrError::Overflow);
  EXPECT_EQ(s.TheString(chars(8193)), StrError::Overflow);
  EXPECT_EQ(s.Length(), 8192);
  EXPECT_EQ(s.Capacity(), 8192);
  EXPECT_EQ(s.ToString(), chars(8192, u'f'));
  // Text that still fits needs no growth and goes through.
  EXPECT_EQ(s.TheString(u"ok"), StrError::None);
  EXPECT_EQ(s.ToString(), u"ok");
}

// A chunk of zero or fewer characters grows the buffer exactly to the size
// needed and HeapMinimize trims all spare room; nothing loops.
class ClsStringTinyChunk : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ClsStringTinyChunk, GrowsExactlyAndNeverHangs) {
  const auto began = std::chrono::steady_clock::now();
  clsString s;
  ASSERT_EQ(s.ChunkSize(GetParam()), StrError::None);
  EXPECT_EQ(s.ChunkSize(), GetParam());
  ASSERT_EQ(s.Append(u"abc"), StrError::None);
  EXPECT_EQ(s.Capacity(), 3);
  ASSERT_EQ(s.Append(u"de"), StrError::None);
  EXPECT_EQ(s.Capacity(), 5);
  ASSERT_EQ(s.Insert(1, u"XY"), StrError::None);
  EXPECT_EQ(s.ToString(), u"aXYbcde");
  EXPECT_EQ(s.Capacity(), 7);
  ASSERT_EQ(s.TheString(chars(10)), StrError::None);
  EXPECT_EQ(s.Capacity(), 10);
  ASSERT_EQ(s.TheString(u"pq"), StrError::None);
  EXPECT_EQ(s.Capacity(), 10);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 2);
  EXPECT_EQ(s.ToString(), u"pq");
  ASSERT_EQ(s.Remove(0, 2), StrError::None);
  s.HeapMinimize();
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.Find(u"p"), 0);
  ASSERT_EQ(s.Append(u"z"), StrError::None);
  EXPECT_EQ(s.ToString(), u"z");
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(ZeroAndNegative, ClsStringTinyChunk,
                         ::testing::Values(0, -1, -8192, -1073741824));

TEST(ClsString, ManySmallAppendsMatchConcatenation) {
  clsString s;
  std::u16string expected;
  for (int i = 0; i < 500; ++i) {
    std::u16string piece(static_cast<std::size_t>(i % 37 + 1), static_cast<char16_t>(i));
    ASSERT_EQ(s.Append(piece), StrError::None);
    expected += piece;
  }
  EXPECT_EQ(s.ToString(), expected);
  EXPECT_EQ(s.Length(), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(s.Capacity() % 8192, 0);
  EXPECT_LT(s.Capacity() - s.Length(), 8192);
}

}  // namespace
}  // namespace mdi
