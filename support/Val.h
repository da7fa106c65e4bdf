#pragma once
// Leading-number parse: numbers typed into boxes and held in grid cells are
// read from the start of the text. Blanks are skipped, an optional sign and
// decimal point are allowed, and text that does not begin with a number
// counts as 0 ("520 bytes" reads 520, "abc" reads 0).
#include <string_view>

#include "support/Fixed4.h"

namespace mdi {

double Val(std::string_view text);
// The same parse, held exactly as a four-decimal fixed-point value
// (further decimals rounded half to even). Saturates beyond the model.
Fixed4 ValFixed(std::string_view text);
// True when text is, blanks aside, a plain whole decimal number in [lo, hi].
bool isWholeNumberIn(std::string_view text, long long lo, long long hi);

}  // namespace mdi
