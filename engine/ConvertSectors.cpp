#include "engine/ConvertSectors.h"

#include <algorithm>
#include <cstring>

namespace mdi {

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock) {
  ConvertedBlock.clear();
  if (s <= 0 || t <= 0 || block.empty()) return;
  const std::size_t step = static_cast<std::size_t>(s);
  const std::size_t want = static_cast<std::size_t>(t);
  const std::size_t whole = block.size() / step;
  const std::size_t rest = block.size() % step;
  // Sized once; resize zero-fills, so the t - s bytes a longer target sector
  // adds are zeros and never the next source sector's first bytes.
  ConvertedBlock.resize(whole * want + std::min(want, rest));
  const std::size_t keep = std::min(step, want);
  const std::byte* from = block.data();
  std::byte* to = ConvertedBlock.data();
  for (std::size_t k = 0; k < whole; ++k, from += step, to += want) std::memcpy(to, from, keep);
  if (rest > 0) std::memcpy(to, from, std::min(want, rest));
}

}  // namespace mdi
