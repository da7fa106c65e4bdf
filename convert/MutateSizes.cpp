#include "convert/MutateSizes.h"

namespace mdi {

std::optional<MutateSizes> computeMutateSizes(std::int32_t s, std::int32_t t, std::int32_t outputBlockSize) {
  if (s <= 0 || t <= 0 || outputBlockSize <= 0) return std::nullopt;
  MutateSizes m;
  m.blockDivisor =
      s == 522 ? Fixed4::fromInt(2) : Fixed4::fromInt(static_cast<std::int64_t>(t) * t).dividedBy(outputBlockSize);
  if (m.blockDivisor.raw() <= 0) return std::nullopt;
  const double d = m.blockDivisor.toDouble();
  const auto rd = roundHalfEven(static_cast<double>(s) * t / d, 1, kMaxMutateBlock);
  const auto wr = roundHalfEven(static_cast<double>(t) * t / d, 1, kMaxMutateBlock);
  if (!rd || !wr) return std::nullopt;
  m.readSize = static_cast<std::int32_t>(*rd);
  m.writeSize = static_cast<std::int32_t>(*wr);
  if (s == t) return m;
  // A block that ended inside a sector would make the next one convert
  // from mid-sector.
  const std::int64_t sectors = m.readSize / s;
  if (sectors == 0 || sectors * t > kMaxMutateBlock) return std::nullopt;
  m.readSize = static_cast<std::int32_t>(sectors * s);
  m.writeSize = static_cast<std::int32_t>(sectors * t);
  return m;
}

}  // namespace mdi
