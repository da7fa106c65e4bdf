#pragma once
// What each sector layout makes of a source, byte by byte from the layouts'
// own definitions, walked one sector (or group of 8 sectors of 520 bytes)
// at a time, the last one cut where the source ends. Sector In = Out is a
// straight copy.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "convert/SectorLayout.h"

namespace mdi {

struct Split {
  std::vector<std::byte> image, extra;
};

inline Split layoutOracle(SectorLayout layout, std::size_t s, std::size_t t, const std::vector<std::byte>& src) {
  Split out;
  auto put = [&src](std::vector<std::byte>& to, std::size_t begin, std::size_t end) {
    if (end > begin) to.insert(to.end(), src.begin() + static_cast<long>(begin), src.begin() + static_cast<long>(end));
  };
  const std::size_t unit = layout == SectorLayout::Groups4K ? 4160 : s;
  for (std::size_t p = 0; p < src.size(); p += unit) {
    const std::size_t r = std::min(unit, src.size() - p);  // bytes of this sector or group
    if (layout == SectorLayout::Groups4K) {
      put(out.image, p, p + std::min<std::size_t>(r, 4096));
      put(out.extra, p + 4096, p + r);
    } else if (layout == SectorLayout::DataLast && s > t) {
      put(out.extra, p, p + std::min(r, s - t));
      put(out.image, p + s - t, p + r);
    } else {  // Data first, and Data last with nothing ahead of the data
      put(out.image, p, p + std::min(r, t));
      if (r == s && t > s) out.image.insert(out.image.end(), t - s, std::byte{0});
      put(out.extra, p + t, p + r);
    }
  }
  return out;
}

}  // namespace mdi
