#pragma once
// Per-job block lengths of a sector-mutate run. Blocks are sized from the
// target sector: t*t/65536 (four decimals) divides out to 128 sectors of
// 512 bytes; a 522-byte source always uses the divisor 2. Every block is
// then cut down to whole source sectors, and writes the same number of
// target sectors, so each block converts on its own from a sector boundary.
// Equal sizes copy unchanged and keep their length.
#include <cstdint>
#include <optional>

#include "support/Fixed4.h"

namespace mdi {

struct MutateSizes {
  Fixed4 blockDivisor;
  std::int32_t readSize = 0;   // bytes read per main-pass block: whole source sectors
  std::int32_t writeSize = 0;  // bytes a whole block converts to
};

inline constexpr std::int32_t kOutputBlockSize = 65536;
// Largest block the run will allocate for one job.
inline constexpr std::int32_t kMaxMutateBlock = 64 * 1024 * 1024;

// nullopt when the pair gives no usable block (a divisor that rounds to 0,
// or a block of 0 bytes or beyond kMaxMutateBlock).
std::optional<MutateSizes> computeMutateSizes(std::int32_t s, std::int32_t t,
                                              std::int32_t outputBlockSize = kOutputBlockSize);

}  // namespace mdi
