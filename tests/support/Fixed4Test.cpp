#include <gtest/gtest.h>

#include "support/Fixed4.h"
#include "support/NumberFormat.h"
#include "support/Val.h"

namespace mdi {
namespace {

TEST(DivRoundHalfEven, RoundsToNearestTiesToEven) {
  struct Case {
    std::int64_t a, b, q;
  };
  const Case cases[] = {{15, 10, 2},   {25, 10, 2},   {14, 10, 1}, {16, 10, 2},
                        {-15, 10, -2}, {-25, 10, -2}, {0, 7, 0},   {INT64_MAX, 1, INT64_MAX}};
  for (const Case& c : cases) EXPECT_EQ(divRoundHalfEven(c.a, c.b), c.q) << c.a << " / " << c.b;
}

TEST(Fixed4, DivisionKeepsFourDecimalsHalfEven) {
  // 1 / 3 = 0.3333
  EXPECT_EQ(Fixed4::fromInt(1).dividedBy(3).raw(), 3333);
  // 0.00005 ties to 0.0000, 0.00015 ties to 0.0002
  EXPECT_EQ(Fixed4::fromRaw(5).dividedBy(10).raw(), 0);
  EXPECT_EQ(Fixed4::fromRaw(15).dividedBy(10).raw(), 2);
  EXPECT_EQ(Fixed4::fromInt(5).dividedBy(0).raw(), 0);
}

TEST(Fixed4, RoundIntPartAndSaturation) {
  EXPECT_EQ(Fixed4::fromDouble(8.5).roundToInt(), 8);
  EXPECT_EQ(Fixed4::fromDouble(9.5).roundToInt(), 10);
  EXPECT_EQ(Fixed4::fromDouble(7.9999).intPart(), 7);
  EXPECT_EQ(Fixed4::fromDouble(4.12605).raw(), 41260);  // tie to even
  EXPECT_EQ(Fixed4::fromDouble(4.12615).raw(), 41262);
  EXPECT_EQ(Fixed4::fromInt(INT64_MAX).intPart(), 922337203685477LL) << "saturates outside the model";
}

// (Ties go to even in Fixed4's rounding rows above.)
TEST(RoundHalfEven, RejectsOutOfRangeAndNonFinite) {
  EXPECT_FALSE(roundHalfEven(3e9, INT32_MIN, INT32_MAX).has_value());
  EXPECT_FALSE(roundHalfEven(1.0 / 0.0, INT32_MIN, INT32_MAX).has_value());
  EXPECT_FALSE(roundHalfEven(0.0 / 0.0, INT32_MIN, INT32_MAX).has_value());
}

TEST(Val, ReadsTheLeadingNumber) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {{"512", 512}, {"  520  ", 520}, {"520 bytes", 520}, {"abc", 0},
                        {"", 0},      {"-75", -75},     {"1.5", 1.5},       {"1 024", 1024},
                        {".5", 0.5},  {"12abc34", 12},  {"1e3", 1000},      {"+7", 7}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Val(c.text), c.value) << '"' << c.text << '"';
}

TEST(ValFixed, ExactForLargeByteCounts) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"2000398934016", 2000398934016LL * 10000},         {"0.00005", 0}, {"0.00015", 2}, {"0.000051", 1}, {"x", 0},
      {"99999999999999999999", Fixed4::kMaxWhole * 10000}};
  for (const auto& [text, raw] : cases) EXPECT_EQ(ValFixed(text).raw(), raw) << '"' << text << '"';
}

TEST(WholeNumber, AcceptsOnlyPlainWholeNumbersInRange) {
  const std::pair<const char*, bool> cases[] = {{"512", true},    {" 65536 ", true}, {"65537", false}, {"0", false},
                                                {"520.5", false}, {"-512", false},   {"", false},      {"abc", false}};
  for (const auto& [text, whole] : cases) EXPECT_EQ(isWholeNumberIn(text, 1, 65536), whole) << '"' << text << '"';
}

// (Numbers of up to four digits are the progress tick's rows.)
TEST(NumberFormat, GroupsWithTheGivenSeparators) {
  const Separators en{",", "."};
  const Separators de{".", ","};
  EXPECT_EQ(formatGrouped(131203072, de), "131.203.072");
  EXPECT_EQ(formatGrouped(-1234567, en), "-1,234,567");
  EXPECT_EQ(formatGroupedOneDecimal(4657500, de), "465,8");  // 465.75 -> 465.8 (tie to even)
  EXPECT_EQ(formatGroupedOneDecimal(4656500, en), "465.6");  // 465.65 -> 465.6
}

}  // namespace
}  // namespace mdi
