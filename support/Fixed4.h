#pragma once
// A signed 64-bit fixed-point number with four decimal places (the value
// times 10000). Sizes that pass through a division are held this way so that
// the progress figures and size texts come out exactly as the operator
// expects, with halves rounded to the even neighbour.
#include <cstdint>
#include <optional>
#include <string_view>

namespace mdi {

class Fixed4 {
 public:
  static constexpr std::int64_t kScale = 10000;
  // Largest whole number the type holds: 922,337,203,685,477.
  static constexpr std::int64_t kMaxWhole = INT64_MAX / kScale;

  constexpr Fixed4() = default;
  static constexpr Fixed4 fromRaw(std::int64_t raw) {
    Fixed4 f;
    f.m_raw = raw;
    return f;
  }
  // Whole numbers beyond kMaxWhole saturate (they are outside the model).
  static Fixed4 fromInt(std::int64_t whole);
  // Rounds to the nearest 0.0001, ties to even. Out-of-range values saturate.
  static Fixed4 fromDouble(double v);

  constexpr std::int64_t raw() const { return m_raw; }
  double toDouble() const { return static_cast<double>(m_raw) / kScale; }
  // Whole part, fraction dropped (toward zero for positives, as Int does for
  // the non-negative sizes this program handles).
  std::int64_t intPart() const;
  // Nearest whole number, ties to even.
  std::int64_t roundToInt() const;

  // Quotient rounded to four decimals, ties to even. A zero divisor gives 0.
  Fixed4 dividedBy(std::int64_t divisor) const;
  Fixed4 plus(Fixed4 o) const { return fromRaw(m_raw + o.m_raw); }

  friend constexpr auto operator<=>(Fixed4, Fixed4) = default;

 private:
  std::int64_t m_raw = 0;
};

// Integer division of a by b (b != 0) rounded to nearest, ties to even.
std::int64_t divRoundHalfEven(std::int64_t a, std::int64_t b);
// Nearest whole number to v, ties to even; nullopt when v is not finite or
// does not fit the range [lo, hi].
std::optional<std::int64_t> roundHalfEven(double v, std::int64_t lo, std::int64_t hi);

}  // namespace mdi
