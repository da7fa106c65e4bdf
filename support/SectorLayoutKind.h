#pragma once
// The sector layouts an operator can pick for a sector-mutate run, and the
// words the window and the records use for them. What each layout does with
// the bytes is convert/SectorLayout.h.
#include <string_view>

namespace mdi {

enum class SectorLayout { DataFirst, DataLast, Groups4K };

// The operator's texts: "Data first", "Data last", "4 KiB groups (8 × 520)".
std::string_view layoutText(SectorLayout layout);

}  // namespace mdi
