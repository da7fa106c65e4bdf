#pragma once
// The default content of a fault file: a deterministic function of the byte
// offset and a seed, so a test computes the bytes it expects without keeping
// a copy. It does not repeat every 512 or 4096 bytes, so a sector read from
// the wrong place never matches.
#include <cstdint>
#include <span>
#include <vector>

namespace mdi::fusedev {

std::uint8_t patternByte(std::uint64_t offset, std::uint64_t seed = 0);

// Writes the pattern bytes [offset, offset + out.size()) into out.
void fillPattern(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t seed = 0);

std::vector<std::uint8_t> patternBytes(std::uint64_t offset, std::size_t length, std::uint64_t seed = 0);

}  // namespace mdi::fusedev
