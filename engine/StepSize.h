#pragma once
// How much a copy loop's step reads at once.
#include <algorithm>
#include <cstddef>

namespace mdi {

// How many blocks a main pass reads per step: enough for a step of at least
// kStepBytes. A step's fixed cost (handing it between threads, counting
// it) then weighs as little on a small block (a mutate block of 128
// sectors) as on a large one, and a drive is given fewer, larger commands.
// The blocks themselves, and so the cycles, the read-outs and the bytes,
// are those of one block per step.
inline constexpr std::size_t kStepBytes = 256 * 1024;
inline std::size_t blocksPerStep(std::size_t block) {
  return block == 0 ? 1 : std::max<std::size_t>(1, (kStepBytes + block - 1) / block);
}

}  // namespace mdi
