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
// Sector mutate holds each piece's source and its converted image at once;
// past about 1 MiB the two no longer fit the processor's cache: four
// simulated 1 GB/s drives of 520-byte sectors kept 0.8 of straight's pace in
// 1 MiB steps and 0.77 in 4 MiB steps. So a mutate step is as long as a
// straight one but read, converted and written by the job's thread in
// pieces of about 1 MiB, one after the other, and the window's thread
// comes between steps no more often than for a straight copy: the same
// drives went from 0.80 to 0.94 of straight to 0.98 to 1.14.
inline constexpr std::size_t kConvertPieceBytes = 1u << 20;
inline constexpr std::size_t kConvertPiecesPerStep = kStepBytes / kConvertPieceBytes;
inline std::size_t blocksFor(std::size_t bytes, std::size_t block) {
  return block == 0 ? 1 : std::max<std::size_t>(1, (bytes + block - 1) / block);
}
// How many blocks a piece of a main pass's step holds: the whole step
// unless converting.
inline std::size_t blocksPerPiece(std::size_t block, bool converting) {
  return blocksFor(converting ? kConvertPieceBytes : kStepBytes, block);
}
inline std::size_t blocksPerStep(std::size_t block, bool converting) {
  return blocksPerPiece(block, converting) * (converting ? kConvertPiecesPerStep : 1);
}

}  // namespace mdi
