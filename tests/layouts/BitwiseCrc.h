#pragma once
// The test's own CRC-16 T10-DIF, bit by bit, to check the product's against.
#include <cstddef>
#include <cstdint>

namespace mdi {

// The guard, bit by bit: polynomial 0x8BB7, initial 0, MSB first.
inline std::uint16_t bitwiseCrc(const std::byte* p, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<std::uint16_t>(std::to_integer<unsigned>(p[i]) << 8);
    for (int b = 0; b < 8; ++b)
      crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8BB7 : crc << 1);
  }
  return crc;
}

}  // namespace mdi
