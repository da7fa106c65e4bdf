#pragma once
// How much a copy loop's step reads at once.
#include <algorithm>
#include <cstddef>

namespace mdi {

// A main pass reads enough whole blocks per step for at least this many
// bytes. Each step costs two thread hand-offs and a few system calls
// whatever its length; at 1 MiB they weigh little even from a page cache at
// gigabytes a second (a 256 KiB step made four times as many), and a drive
// is given fewer, larger commands. The blocks themselves, and so the
// cycles, the read-outs and the bytes, are those of one block per step.
inline constexpr std::size_t kStepBytes = 1024 * 1024;
// Sector mutate converts a step at once, through a builder of two bytes per
// byte: a step of 256 KiB keeps that within the processor's cache, where
// 1 MiB ran at well under half the speed.
inline constexpr std::size_t kMutateStepBytes = 256 * 1024;
inline std::size_t blocksPerStep(std::size_t block, std::size_t stepBytes = kStepBytes) {
  return block == 0 ? 1 : std::max<std::size_t>(1, (stepBytes + block - 1) / block);
}

}  // namespace mdi
