#pragma once
// How much a copy loop's step reads at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace mdi {

// A main pass's step is read, prepared and written by the job's thread in
// pieces, one after another, and only then handed back to the window's
// thread, which counts it, shows it and starts the next. A piece of a
// straight copy is kStraightPieceBytes: each piece costs a few system calls, and a
// warm copy into tmpfs took 1.41 s of CPU per GiB in 256 KiB pieces, about
// 1.15 s in 1 MiB and about 1.03 s in 4 MiB (8 MiB gained nothing more).
inline constexpr std::size_t kStraightPieceBytes = 4u << 20;
// Sector mutate holds each piece's source and its converted image at once;
// past about 1 MiB the two no longer fit the processor's cache: four
// simulated 1 GB/s drives of 520-byte sectors kept 0.8 of straight's pace
// in 1 MiB pieces and 0.77 in 4 MiB ones.
inline constexpr std::size_t kConvertPieceBytes = 1u << 20;
// How many blocks a piece of a main pass's step holds.
inline std::size_t blocksPerPiece(std::size_t block, bool converting) {
  const std::size_t bytes = converting ? kConvertPieceBytes : kStraightPieceBytes;
  return block == 0 ? 1 : std::max<std::size_t>(1, (bytes + block - 1) / block);
}

// How many pieces a job's steps hold. Every hand-off to the window's thread
// leaves the job's thread waiting for it (0.2 to 0.5 ms on a two-core
// virtual machine, against 1.3 ms for the piece itself from a warm file),
// so a job whose steps go quickly takes longer ones, up to about
// kStepTargetMs each, and the window still shows every job's progress many
// times a second. A step starts as one piece, doubles while a step takes
// under half the target and halves when one takes more than twice it, so a
// slow or faltering drive soon goes back to short steps. A step that took
// no measurable time (the tick did not move) tells nothing, and changes
// nothing.
inline constexpr std::int32_t kStepTargetMs = 50;
inline constexpr std::size_t kMostStepPieces = 64;
inline std::size_t nextStepPieces(std::size_t pieces, std::int32_t tookMs) {
  if (tookMs <= 0) return pieces;
  if (tookMs < kStepTargetMs / 2) return std::min(pieces * 2, kMostStepPieces);
  if (tookMs > kStepTargetMs * 2) return std::max<std::size_t>(pieces / 2, 1);
  return pieces;
}

}  // namespace mdi
