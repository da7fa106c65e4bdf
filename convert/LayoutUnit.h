#pragma once
// A sector layout that leaves bytes out of the image, seen as a unit of
// source bytes (a sector, or a group of sectors) repeating through the
// source and cut into two segments: the first `lead` bytes, then the rest.
// One segment goes to the image, the other to `.extra`. Converting and
// rebuilding both walk these units, so they cannot disagree.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "convert/SectorLayout.h"

namespace mdi {

struct LayoutUnit {
  std::size_t unit = 0;     // source bytes per unit
  std::size_t lead = 0;     // bytes of the first segment, 0 < lead < unit
  bool leadIsImage = true;  // the first segment is image data (else .extra)
};

// The unit of a layout that splits (s > t, or groups); nullopt when the
// layout keeps every byte in the image (s <= t) or does not fit (s, t).
std::optional<LayoutUnit> layoutUnit(SectorLayout layout, std::int32_t s, std::int32_t t);

// Image bytes among source bytes [0, x).
std::uint64_t imageBytesBefore(const LayoutUnit& u, std::uint64_t x);

}  // namespace mdi
