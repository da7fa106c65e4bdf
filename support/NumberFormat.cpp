#include "support/NumberFormat.h"

#include "support/Fixed4.h"

namespace mdi {

namespace {
std::string groupDigits(std::uint64_t magnitude, const std::string& group) {
  std::string digits = std::to_string(magnitude);
  std::string out;
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
  return (value < 0 ? "-" : "") + groupDigits(magnitudeOf(value), sep.group);
}

std::string formatGroupedOneDecimal(std::int64_t raw4, const Separators& sep) {
  const std::int64_t tenths = divRoundHalfEven(raw4, 1000);
  const std::uint64_t m = magnitudeOf(tenths);
  return (tenths < 0 ? "-" : "") + groupDigits(m / 10, sep.group) + sep.decimal + std::to_string(m % 10);
}

}  // namespace mdi
