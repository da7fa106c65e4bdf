#pragma once
// Sector conversion for "sector mutate": turns one block read from a source
// with s-byte sectors into the data written to a target with t-byte sectors.
//
// The block must start on a source sector boundary. It is walked sector by
// sector: a whole sector of s bytes becomes its first min(s, t) bytes,
// followed by t - s zero bytes when t > s; a trailing partial sector of r
// bytes becomes its first min(t, r) bytes. So n whole sectors give exactly
// n * t bytes, and no output sector ever holds bytes of another.
//
// ConvertedBlock is replaced as a whole. A vector already of the result's
// length (every main-pass block of a job) is neither re-allocated nor
// cleared first: every byte is overwritten. Sector sizes of zero or below
// give an empty result.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdi {

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock);

}  // namespace mdi
