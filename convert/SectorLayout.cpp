#include "convert/SectorLayout.h"

#include <algorithm>
#include <cstring>

#include "convert/ConvertSectors.h"
#include "convert/LayoutUnit.h"

namespace mdi {

namespace {

// Copies the segments of `block`, which begins `phase` bytes into a unit,
// to `image` and `extra` in order: one pass over the bytes.
void splitBlock(const LayoutUnit& u, std::span<const std::byte> block, std::size_t phase, std::byte* image,
                std::byte* extra) {
  const std::byte* from = block.data();
  std::size_t left = block.size();
  std::size_t w = phase;
  while (left > 0) {
    const bool inLead = w < u.lead;
    const std::size_t n = std::min((inLead ? u.lead : u.unit) - w, left);
    std::byte*& to = inLead == u.leadIsImage ? image : extra;
    std::memcpy(to, from, n);
    to += n;
    from += n;
    left -= n;
    w += n;
    if (w == u.unit) w = 0;
  }
}

}  // namespace

bool layoutFits(SectorLayout layout, std::int32_t s, std::int32_t t) {
  if (s <= 0 || t <= 0) return false;
  if (layout == SectorLayout::Groups4K) return s == kGroupSectorIn && t == kGroupSectorOut;
  return true;
}

std::string layoutMisfit(SectorLayout layout, std::int32_t s, std::int32_t t) {
  if (layoutFits(layout, s, t)) return {};
  if (s <= 0 || t <= 0) return "Sector In and Sector Out must be at least 1.";
  return "The sector layout \"" + std::string(layoutText(layout)) + "\" needs Sector In " +
         std::to_string(kGroupSectorIn) + " and Sector Out " + std::to_string(kGroupSectorOut) + ", not " +
         std::to_string(s) + " and " + std::to_string(t) + ".";
}

bool layoutHasExtra(SectorLayout layout, std::int32_t s, std::int32_t t) {
  return layoutUnit(layout, s, t).has_value();
}

LayoutSplit layoutSplit(SectorLayout layout, std::int32_t s, std::int32_t t, std::uint64_t sourceBytes) {
  if (!layoutFits(layout, s, t)) return {};
  if (const auto u = layoutUnit(layout, s, t)) {
    const std::uint64_t image = imageBytesBefore(*u, sourceBytes);
    return {image, sourceBytes - image};
  }
  // s <= t: whole sectors are padded to t, a trailing partial one (shorter
  // than s, so than t) comes out as it is.
  const auto ss = static_cast<std::uint64_t>(s);
  return {sourceBytes / ss * static_cast<std::uint64_t>(t) + sourceBytes % ss, 0};
}

bool convertLayout(SectorLayout layout, std::int32_t s, std::int32_t t, std::span<const std::byte> block,
                   std::uint64_t sourceOffset, std::vector<std::byte>& image, std::vector<std::byte>& extra) {
  if (!layoutFits(layout, s, t) || (s != t && sourceOffset % static_cast<std::uint64_t>(s) != 0)) {
    image.clear();
    extra.clear();
    return false;
  }
  const auto u = layoutUnit(layout, s, t);
  if (!u) {
    ConvertSectors(block, s, t, image);
    extra.clear();
    return true;
  }
  const std::size_t phase = static_cast<std::size_t>(sourceOffset % u->unit);
  const std::uint64_t imageBytes = imageBytesBefore(*u, phase + block.size()) - imageBytesBefore(*u, phase);
  // Sized without clearing first: every byte is overwritten below, and a
  // reused vector of the same size is neither re-allocated nor zero-filled.
  image.resize(static_cast<std::size_t>(imageBytes));
  extra.resize(block.size() - static_cast<std::size_t>(imageBytes));
  splitBlock(*u, block, phase, image.data(), extra.data());
  return true;
}

}  // namespace mdi
