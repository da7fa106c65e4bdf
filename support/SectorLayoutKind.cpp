#include "support/SectorLayoutKind.h"

#include <array>
#include <utility>

namespace mdi {
namespace {

constexpr std::array<std::pair<SectorLayout, std::string_view>, 3> kTexts{{
    {SectorLayout::DataFirst, "Data first"},
    {SectorLayout::DataLast, "Data last"},
    {SectorLayout::Groups4K, "4 KiB groups (8 \xC3\x97 520)"},  // U+00D7 in UTF-8
}};

}  // namespace

std::string_view layoutText(SectorLayout layout) {
  for (const auto& [l, text] : kTexts)
    if (l == layout) return text;
  return {};
}

}  // namespace mdi
