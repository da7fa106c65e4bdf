#pragma once
// How much a copy loop's step reads at once.
#include <algorithm>
#include <cstddef>

namespace mdi {

// How many blocks a main pass reads per step: enough for a step of at least
// kStepBytes. Each step costs the same few thread hand-offs and system calls
// whatever its length, and on a virtual machine each hand-off that wakes a
// thread on the other core costs tens of microseconds: a warm copy into
// tmpfs took 1.41 s of CPU per GiB in 256 KiB steps, about 1.15 s in 1 MiB
// steps and about 1.03 s in 4 MiB steps (8 MiB gained nothing more). A drive
// is given fewer, larger commands too. The blocks themselves, and so the
// cycles, the read-outs and the bytes, are those of one block per step.
inline constexpr std::size_t kStepBytes = 4u << 20;
// Sector mutate holds each step's source and its converted image at once;
// past about 1 MiB the two no longer fit the processor's cache: four
// simulated 1 GB/s drives of 520-byte sectors kept 0.8 of straight's pace in
// 1 MiB steps and 0.77 in 4 MiB steps.
inline constexpr std::size_t kConvertStepBytes = 1u << 20;
inline std::size_t blocksPerStep(std::size_t block, bool converting) {
  const std::size_t bytes = converting ? kConvertStepBytes : kStepBytes;
  return block == 0 ? 1 : std::max<std::size_t>(1, (bytes + block - 1) / block);
}

}  // namespace mdi
