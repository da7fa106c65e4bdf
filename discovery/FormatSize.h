#pragma once
// The short size text of the "Size" columns: counted in multiples of 1024,
// written with the units " Kb", " Mb", " Gb", " Tb" or " bytes".
#include <string>
#include <string_view>

#include "support/NumberFormat.h"

namespace mdi {

// bytesText is read as a leading decimal number ("" and non-numbers read 0).
std::string FormatSize(std::string_view bytesText, const Separators& sep);

}  // namespace mdi
