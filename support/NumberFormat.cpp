#include "support/NumberFormat.h"

#include "support/Fixed4.h"

namespace mdi {

namespace {
// Appends to one string instead of prefixing the sign with `"-" + str`: that
// insert at the front makes GCC 12 at -O3 warn a false -Wrestrict.
std::string groupDigits(bool negative, std::uint64_t magnitude, const std::string& group) {
  const std::string digits = std::to_string(magnitude);
  std::string out;
  if (negative) out += '-';
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[i];
    const std::size_t left = n - i - 1;
    if (left > 0 && left % 3 == 0) out += group;
  }
  return out;
}
std::uint64_t magnitudeOf(std::int64_t v) {
  return v < 0 ? 0ULL - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}
}  // namespace

std::string formatGrouped(std::int64_t value, const Separators& sep) {
  return groupDigits(value < 0, magnitudeOf(value), sep.group);
}

std::string formatGroupedOneDecimal(std::int64_t raw4, const Separators& sep) {
  const std::int64_t tenths = divRoundHalfEven(raw4, 1000);
  const std::uint64_t m = magnitudeOf(tenths);
  std::string out = groupDigits(tenths < 0, m / 10, sep.group);
  out += sep.decimal;
  out += static_cast<char>('0' + m % 10);
  return out;
}

}  // namespace mdi
