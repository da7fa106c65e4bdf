#pragma once
// Sector conversion for "sector mutate": turns one block read from a source
// with s-byte sectors into the data written to a target with t-byte sectors.
//
// The block is walked in steps of s bytes (p = 0, s, 2s, ... while p < n)
// and at each step the piece of bytes p .. min(p + t, n) - 1 is taken, so
// t < s keeps the first t bytes of every sector, t = s returns the block
// unchanged and t > s lets each piece run into the next source sector.
// Nothing is padded; the result is L = sum over k of min(t, n - k*s) bytes.
//
// ConvertedBlock is replaced as a whole. Sector sizes of zero or below give
// an empty result.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdi {

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock);

}  // namespace mdi
