#pragma once
// Free text (paths, drive models) made safe to write as one line of a
// line-based file: a backslash becomes "\\", a newline "\n", a carriage
// return "\r", a tab "\t", any other control byte "\xNN". Other bytes,
// UTF-8 included, pass unchanged.
#include <string>
#include <string_view>

namespace mdi {

std::string oneLineText(std::string_view text);

// The text without the white space (as std::isspace) at either end.
std::string trimSpace(std::string_view text);

}  // namespace mdi
