#include "support/LineText.h"

#include <cctype>
#include <cstdio>

namespace mdi {

std::string oneLineText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[5];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

std::string trimSpace(std::string_view text) {
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  return std::string(text);
}

}  // namespace mdi
