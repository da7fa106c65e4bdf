#pragma once
// Bytes without a short period, the same for the same seed: a byte taken
// from the wrong place shows. Sources of the record, layout and run tests.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mdi::test {

inline std::vector<std::byte> patternBytes(std::size_t n, unsigned seed) {
  std::vector<std::byte> v(n);
  std::uint32_t x = 2654435761u * (seed + 1);
  for (auto& b : v) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::byte>(x >> 24);
  }
  return v;
}

}  // namespace mdi::test
