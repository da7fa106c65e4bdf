#include "support/Fixed4.h"

#include <cmath>

namespace mdi {

Fixed4 Fixed4::fromInt(std::int64_t whole) {
  if (whole > kMaxWhole) return fromRaw(kMaxWhole * kScale);
  if (whole < -kMaxWhole) return fromRaw(-kMaxWhole * kScale);
  return fromRaw(whole * kScale);
}

Fixed4 Fixed4::fromDouble(double v) {
  const auto r = roundHalfEven(v * kScale, -kMaxWhole * kScale, kMaxWhole * kScale);
  if (r) return fromRaw(*r);
  return fromRaw(v < 0 ? -kMaxWhole * kScale : kMaxWhole * kScale);
}

std::int64_t Fixed4::intPart() const { return m_raw / kScale; }

std::int64_t Fixed4::roundToInt() const { return divRoundHalfEven(m_raw, kScale); }

Fixed4 Fixed4::dividedBy(std::int64_t divisor) const {
  if (divisor == 0) return {};
  return fromRaw(divRoundHalfEven(m_raw, divisor));
}

std::int64_t divRoundHalfEven(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  std::int64_t r = a % b;
  if (r == 0) return q;
  // Compare 2|r| with |b| without overflow.
  const unsigned long long ar = r < 0 ? 0ULL - static_cast<unsigned long long>(r) : static_cast<unsigned long long>(r);
  const unsigned long long ab = b < 0 ? 0ULL - static_cast<unsigned long long>(b) : static_cast<unsigned long long>(b);
  const unsigned long long rest = ab - ar;  // distance to the next multiple
  const bool negative = (a < 0) != (b < 0);
  if (ar > rest || (ar == rest && (q % 2 != 0))) q += negative ? -1 : 1;
  return q;
}

std::optional<std::int64_t> roundHalfEven(double v, std::int64_t lo, std::int64_t hi) {
  if (!std::isfinite(v)) return std::nullopt;
  const double r = std::nearbyint(v);  // default rounding mode: ties to even
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return std::nullopt;
  // Values near the int64 limits are not representable exactly as double.
  if (r >= 9.2233720368547758e18 || r < -9.2233720368547758e18) return std::nullopt;
  return static_cast<std::int64_t>(r);
}

}  // namespace mdi
