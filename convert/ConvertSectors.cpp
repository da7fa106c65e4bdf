#include "convert/ConvertSectors.h"

#include <algorithm>
#include <cstring>

namespace mdi {

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock) {
  if (s <= 0 || t <= 0 || block.empty()) {
    ConvertedBlock.clear();
    return;
  }
  const auto step = static_cast<std::size_t>(s);
  const auto want = static_cast<std::size_t>(t);
  const std::size_t whole = block.size() / step;
  const std::size_t rest = block.size() % step;
  ConvertedBlock.resize(whole * want + std::min(want, rest));
  // Each sector straight into its place: one pass over the bytes, no
  // intermediate buffer.
  const std::size_t kept = std::min(want, step);
  const std::byte* in = block.data();
  std::byte* out = ConvertedBlock.data();
  for (std::size_t i = 0; i < whole; ++i, in += step, out += want) {
    std::memcpy(out, in, kept);
    // A target sector longer than its source is filled with zeros, never
    // with the next source sector's first bytes.
    if (want > kept) std::memset(out + kept, 0, want - kept);
  }
  if (rest > 0) std::memcpy(out, in, std::min(want, rest));
}

}  // namespace mdi
