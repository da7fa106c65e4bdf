#include "convert/LayoutRebuild.h"

#include <algorithm>

#include "convert/LayoutUnit.h"

namespace mdi {

namespace {

void append(std::vector<std::byte>& out, std::span<const std::byte> piece) {
  out.insert(out.end(), piece.begin(), piece.end());
}

std::optional<std::vector<std::byte>> interleave(const LayoutUnit& u, std::span<const std::byte> image,
                                                 std::span<const std::byte> extra) {
  const std::span<const std::byte> first = u.leadIsImage ? image : extra;
  const std::span<const std::byte> second = u.leadIsImage ? extra : image;
  const std::size_t len1 = u.lead;
  const std::size_t len2 = u.unit - u.lead;
  std::vector<std::byte> out;
  out.reserve(image.size() + extra.size());
  std::size_t a = 0;
  std::size_t b = 0;
  for (;;) {
    const std::size_t n1 = std::min(len1, first.size() - a);
    append(out, first.subspan(a, n1));
    a += n1;
    if (n1 < len1) break;
    const std::size_t n2 = std::min(len2, second.size() - b);
    append(out, second.subspan(b, n2));
    b += n2;
    if (n2 < len2) break;
  }
  if (a != first.size() || b != second.size()) return std::nullopt;
  return out;
}

std::optional<std::vector<std::byte>> unpad(std::size_t s, std::size_t t, std::span<const std::byte> image) {
  std::vector<std::byte> out;
  out.reserve(image.size());
  for (std::size_t p = 0; p < image.size(); p += t) {
    const auto piece = image.subspan(p, std::min(t, image.size() - p));
    if (piece.size() < t) {
      if (piece.size() >= s) return std::nullopt;
      append(out, piece);
      break;
    }
    const auto pad = piece.subspan(s);
    if (std::any_of(pad.begin(), pad.end(), [](std::byte x) { return x != std::byte{0}; })) return std::nullopt;
    append(out, piece.first(s));
  }
  return out;
}

}  // namespace

std::optional<std::vector<std::byte>> rebuildSource(SectorLayout layout, std::int32_t s, std::int32_t t,
                                                    std::span<const std::byte> image,
                                                    std::span<const std::byte> extra) {
  if (!layoutFits(layout, s, t)) return std::nullopt;
  if (const auto u = layoutUnit(layout, s, t)) return interleave(*u, image, extra);
  if (!extra.empty()) return std::nullopt;
  if (s == t) return std::vector<std::byte>(image.begin(), image.end());
  return unpad(static_cast<std::size_t>(s), static_cast<std::size_t>(t), image);
}

}  // namespace mdi
