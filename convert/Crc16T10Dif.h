#pragma once
// CRC-16 T10-DIF, the guard of a T10 protection-information tuple:
// polynomial 0x8BB7, initial value 0, no reflection, no final XOR.
// Computed by isa-l with the CPU's carry-less multiply where it has one.
#include <cstddef>
#include <cstdint>
#include <span>

namespace mdi {

std::uint16_t crc16T10Dif(std::span<const std::byte> data);

}  // namespace mdi
