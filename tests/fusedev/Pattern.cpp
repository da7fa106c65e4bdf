#include "tests/fusedev/Pattern.h"

#include <algorithm>

namespace mdi::fusedev {
namespace {

// splitmix64 of the 8-byte word index: every word differs from its neighbours.
std::uint64_t word(std::uint64_t index, std::uint64_t seed) {
  std::uint64_t z = index + seed * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e019ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace

std::uint8_t patternByte(std::uint64_t offset, std::uint64_t seed) {
  return static_cast<std::uint8_t>(word(offset / 8, seed) >> (8 * (offset % 8)));
}

void fillPattern(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t seed) {
  std::size_t i = 0;
  while (i < out.size()) {
    const std::uint64_t at = offset + i;
    const std::uint64_t w = word(at / 8, seed);
    const std::size_t from = at % 8;
    const std::size_t n = std::min<std::size_t>(8 - from, out.size() - i);
    for (std::size_t k = 0; k < n; ++k) out[i + k] = static_cast<std::uint8_t>(w >> (8 * (from + k)));
    i += n;
  }
}

std::vector<std::uint8_t> patternBytes(std::uint64_t offset, std::size_t length, std::uint64_t seed) {
  std::vector<std::uint8_t> out(length);
  fillPattern(out, offset, seed);
  return out;
}

}  // namespace mdi::fusedev
