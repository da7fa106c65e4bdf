#pragma once
// The test's own CRC-16 T10-DIF, bit by bit, to check the product's against,
// and synthetic 520-byte sectors with chosen protection information whose
// guards it computes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mdi {

// The guard, bit by bit: polynomial 0x8BB7, initial 0, MSB first.
inline std::uint16_t bitwiseCrc(const std::byte* p, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<std::uint16_t>(std::to_integer<unsigned>(p[i]) << 8);
    for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8BB7 : crc << 1);
  }
  return crc;
}

// One letter per sector:
//   G  data with its right guard and reference tag
//   B  guard off by one
//   R  right guard, reference tag of another LBA
//   X  guard and reference tag both wrong
//   E  application tag 0xFFFF (guard wrong: escaped sectors are not checked)
//   F  all-0xFF tuple
//   Z  all zero: data and tuple (blank)
//   z  zero tuple, data not all zero
//   N  data and a tuple of noise (no PI)
//   M  noise, but the data ends in the boot signature 0x55 0xAA
//   P  noise, but the data opens with a GPT header's "EFI PART"
inline std::vector<std::byte> sectors(const std::string& kinds, std::uint64_t firstLba) {
  std::vector<std::byte> out(kinds.size() * 520);
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    std::byte* sec = out.data() + k * 520;
    const std::uint64_t lba = firstLba + k;
    const char kind = kinds[k];
    if (kind == 'Z') continue;
    for (std::size_t i = 0; i < 520; ++i) sec[i] = static_cast<std::byte>((lba * 977 + i * 31 + (i >> 5)) & 0xFF);
    if (kind == 'M') {
      sec[510] = std::byte{0x55};
      sec[511] = std::byte{0xAA};
    }
    if (kind == 'P') std::memcpy(sec, "EFI PART", 8);
    if (kind == 'N' || kind == 'M' || kind == 'P') continue;
    if (kind == 'z') {
      std::memset(sec + 512, 0, 8);
      continue;
    }
    std::uint16_t guard = bitwiseCrc(sec, 512);
    if (kind == 'B' || kind == 'X' || kind == 'E') guard ^= 1;
    std::uint32_t ref = static_cast<std::uint32_t>(lba);
    if (kind == 'R' || kind == 'X') ref += 7;
    const std::uint16_t app = kind == 'E' ? 0xFFFF : 0x1234;
    const std::uint64_t tuple = std::uint64_t{guard} << 48 | std::uint64_t{app} << 32 | ref;  // big-endian
    for (int b = 0; b < 8; ++b) sec[512 + b] = static_cast<std::byte>(tuple >> (56 - 8 * b));
    if (kind == 'F') std::memset(sec + 512, 0xFF, 8);
  }
  return out;
}

}  // namespace mdi
