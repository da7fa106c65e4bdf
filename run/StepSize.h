#pragma once
// How much a copy loop's step reads at once.
#include <algorithm>
#include <cstddef>

namespace mdi {

// How many blocks a main pass reads per step: enough for a step of at least
// kStepBytes. Each step costs two thread hand-offs and a few system calls
// whatever its length; at 1 MiB they weigh little even from a page cache at
// gigabytes a second (a 256 KiB step made four times as many), and a drive
// is given fewer, larger commands. The blocks themselves, and so the
// cycles, the read-outs and the bytes, are those of one block per step.
inline constexpr std::size_t kStepBytes = 1024 * 1024;
inline std::size_t blocksPerStep(std::size_t block) {
  return block == 0 ? 1 : std::max<std::size_t>(1, (kStepBytes + block - 1) / block);
}

}  // namespace mdi
