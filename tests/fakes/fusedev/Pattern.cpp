#include "tests/fakes/fusedev/Pattern.h"

#include <bit>
#include <cstring>

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
  // Whole words are stored at once: a benchmark's simulated drives serve
  // hundreds of MB/s of pattern.
  for (; i < out.size() && (offset + i) % 8 != 0; ++i) out[i] = patternByte(offset + i, seed);
  for (; i + 8 <= out.size(); i += 8) {
    std::uint64_t w = word((offset + i) / 8, seed);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    std::memcpy(out.data() + i, &w, 8);
  }
  for (; i < out.size(); ++i) out[i] = patternByte(offset + i, seed);
}

std::vector<std::uint8_t> patternBytes(std::uint64_t offset, std::size_t length, std::uint64_t seed) {
  std::vector<std::uint8_t> out(length);
  fillPattern(out, offset, seed);
  return out;
}

}  // namespace mdi::fusedev
