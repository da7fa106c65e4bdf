#pragma once
// Benchmark data: a 520-byte sector whose last 8 bytes are valid type-1
// protection information, as a drive formatted with PI delivers it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/Crc16T10Dif.h"

namespace mdi::bench {

// Writes the tuple of the 512 data bytes at `sector` into its bytes 512 to
// 519: guard, application tag 0, reference tag = the LBA's low 32 bits.
inline void sealType1(std::byte* sector, std::uint32_t lba) {
  const std::uint16_t guard = crc16T10Dif(std::span<const std::byte>(sector, 512));
  const std::uint8_t tuple[8] = {static_cast<std::uint8_t>(guard >> 8),
                                 static_cast<std::uint8_t>(guard),
                                 0,
                                 0,
                                 static_cast<std::uint8_t>(lba >> 24),
                                 static_cast<std::uint8_t>(lba >> 16),
                                 static_cast<std::uint8_t>(lba >> 8),
                                 static_cast<std::uint8_t>(lba)};
  for (std::size_t i = 0; i < 8; ++i) sector[512 + i] = static_cast<std::byte>(tuple[i]);
}

}  // namespace mdi::bench
