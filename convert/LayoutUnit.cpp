#include "convert/LayoutUnit.h"

#include <algorithm>

namespace mdi {

std::optional<LayoutUnit> layoutUnit(SectorLayout layout, std::int32_t s, std::int32_t t) {
  if (!layoutFits(layout, s, t)) return std::nullopt;
  const auto ss = static_cast<std::size_t>(s);
  const auto ts = static_cast<std::size_t>(t);
  switch (layout) {
    case SectorLayout::Groups4K:
      return LayoutUnit{kGroupBytes, kGroupDataBytes, true};
    case SectorLayout::DataFirst:
      if (s > t) return LayoutUnit{ss, ts, true};
      return std::nullopt;
    case SectorLayout::DataLast:
      if (s > t) return LayoutUnit{ss, ss - ts, false};
      return std::nullopt;
  }
  return std::nullopt;
}

std::uint64_t imageBytesBefore(const LayoutUnit& u, std::uint64_t x) {
  const std::uint64_t keep = u.leadIsImage ? u.lead : u.unit - u.lead;
  const std::uint64_t whole = x / u.unit;
  const std::uint64_t in = x % u.unit;
  const std::uint64_t part = u.leadIsImage ? std::min<std::uint64_t>(in, u.lead) : (in > u.lead ? in - u.lead : 0);
  return whole * keep + part;
}

}  // namespace mdi
