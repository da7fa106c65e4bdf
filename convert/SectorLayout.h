#pragma once
// Sector layouts of a sector-mutate run: which bytes of a source sector (or
// of a group of sectors) are the data that goes into the image, and which
// are the extra bytes that go, in source order, into `<image>.extra`. The
// image and its `.extra` together hold every source byte, so a wrong choice
// is undone from the two files alone (the README's rebuild script), without
// the drive.
//
// With s the source and t the target sector size:
//
//   Data first  whole sector: image gets bytes [0, t), .extra bytes [t, s).
//               This is ConvertSectors byte for byte: when t >= s the image
//               sector is the whole source sector followed by t - s zeros and
//               nothing goes to .extra.
//   Data last   s > t: .extra gets bytes [0, s - t), the image [s - t, s).
//               s <= t: no bytes lead the data, so it is Data first exactly.
//   4 KiB groups (520 in, 512 out only) every 8 sectors, 4,160 bytes, form a
//               group: the image gets its bytes [0, 4096) and .extra its 64
//               bytes [4096, 4160).
//
// Bytes that run short at the end of the source (a trailing partial sector,
// a last group of fewer than 8 sectors) are split by the same positions as
// far as the data goes: a trailing r-byte sector in Data first gives the
// image its first min(r, t) bytes and .extra the rest; in Data last .extra
// gets its first min(r, s - t) bytes and the image the rest; a last group
// of g bytes gives the image min(g, 4096) bytes and .extra the rest. So a
// job of k sectors (k not a multiple of 8) ends its image with the 520*(k%8)
// contiguous data bytes of its last group, which is not a whole number of
// 512-byte sectors.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/SectorLayoutKind.h"

namespace mdi {

inline constexpr std::int32_t kGroupSectorIn = 520;
inline constexpr std::int32_t kGroupSectorOut = 512;
inline constexpr std::size_t kGroupBytes = 8 * 520;  // 4,160
inline constexpr std::size_t kGroupDataBytes = 4096;
inline constexpr std::size_t kGroupCheckBytes = kGroupBytes - kGroupDataBytes;  // 64

// Whether a job with these sector sizes can use the layout: Groups4K only
// for 520 in and 512 out; Data first and Data last for every pair of
// positive sizes.
bool layoutFits(SectorLayout layout, std::int32_t s, std::int32_t t);
// Why a job cannot use the layout, for the refusal at Run (the caller names
// the job); empty when it fits.
std::string layoutMisfit(SectorLayout layout, std::int32_t s, std::int32_t t);
// Whether the layout leaves bytes out of the image for this pair (s > t, or
// groups), i.e. whether the job has anything to put into `.extra`.
bool layoutHasExtra(SectorLayout layout, std::int32_t s, std::int32_t t);

struct LayoutSplit {
  std::uint64_t imageBytes = 0;
  std::uint64_t extraBytes = 0;
};
// Lengths of the image and of `.extra` made from the first `sourceBytes`
// bytes of a source. Zeros when the layout does not fit.
LayoutSplit layoutSplit(SectorLayout layout, std::int32_t s, std::int32_t t, std::uint64_t sourceBytes);

// Converts one block: `block` holds the source bytes from byte
// `sourceOffset` of the source on, and every sector in it is whole except a
// trailing partial one at the source's end. `image` and `extra` are
// replaced by the block's image bytes and `.extra` bytes, in source order;
// their capacity is kept, so a caller reusing them allocates nothing.
// Data first goes through ConvertSectors. Returns false, both left empty,
// when the layout does not fit (s, t) or `sourceOffset` is not on a source
// sector boundary (any offset will do when s == t: the block is copied).
bool convertLayout(SectorLayout layout, std::int32_t s, std::int32_t t, std::span<const std::byte> block,
                   std::uint64_t sourceOffset, std::vector<std::byte>& image, std::vector<std::byte>& extra);

}  // namespace mdi
