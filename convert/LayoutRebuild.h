#pragma once
// The rule that undoes a sector-mutate conversion: the raw source stream,
// rebuilt from an image and its `.extra` alone.
//
//   A layout that leaves bytes out (s > t, or 4 KiB groups): walk the source
//   unit by unit (a sector, or a group of 8 sectors). Data first and groups
//   take the unit's data from the image (t bytes, or 4,096), then its extra
//   bytes from `.extra` (s - t, or 64); Data last takes the s - t extra
//   bytes first, then t from the image. Each piece is taken as far as its
//   file goes; the source ends at the first piece that comes up short.
//   s == t: the image is the source.
//   s < t: the first s bytes of every t-byte image sector (the rest are the
//   zeros the conversion added), then a trailing piece shorter than s as is.
//
// The files need not be rebuilt whole: source bytes [a, b), with a on a
// unit boundary (a sector boundary when s <= t), are rebuilt from image
// bytes [A.imageBytes, B.imageBytes) and `.extra` bytes [A.extraBytes,
// B.extraBytes), where A and B are layoutSplit(layout, s, t, a) and (.., b).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "convert/SectorLayout.h"

namespace mdi {

// nullopt when the two cannot have come from one source under this layout
// and these sizes: a layout that does not fit, bytes left in one file after
// the other ran out inside a unit, a non-empty `.extra` where the layout
// keeps every byte in the image, non-zero padding, or a trailing piece
// longer than a source sector.
std::optional<std::vector<std::byte>> rebuildSource(SectorLayout layout, std::int32_t s, std::int32_t t,
                                                    std::span<const std::byte> image, std::span<const std::byte> extra);

}  // namespace mdi
