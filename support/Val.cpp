#include "support/Val.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace mdi {
namespace {

struct Parsed {
  bool negative = false;
  std::string intDigits;
  std::string fracDigits;
  int exponent = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

Parsed parseLeading(std::string_view t) {
  Parsed p;
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < t.size() && isBlank(t[i])) ++i;
  };
  skipBlanks();
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    p.negative = t[i] == '-';
    ++i;
  }
  // Digits may be separated by blanks, as in "1 024"; that is how a
  // leading-number parse of typed text has always behaved.
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) p.intDigits += t[i];
    else if (!isBlank(t[i])) break;
  }
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size(); ++i) {
      if (std::isdigit(static_cast<unsigned char>(t[i]))) p.fracDigits += t[i];
      else if (!isBlank(t[i])) break;
    }
  }
  if (!p.intDigits.empty() || !p.fracDigits.empty()) {
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
      std::size_t j = i + 1;
      bool neg = false;
      if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
        neg = t[j] == '-';
        ++j;
      }
      std::string ed;
      while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j])) && ed.size() < 4) ed += t[j++];
      if (!ed.empty()) p.exponent = (neg ? -1 : 1) * std::atoi(ed.c_str());
    }
  }
  return p;
}

}  // namespace

double Val(std::string_view text) {
  const Parsed p = parseLeading(text);
  if (p.intDigits.empty() && p.fracDigits.empty()) return 0.0;
  std::string s = (p.intDigits.empty() ? "0" : p.intDigits) + "." + p.fracDigits + "e" + std::to_string(p.exponent);
  const double v = std::strtod(s.c_str(), nullptr);
  return p.negative ? -v : v;
}

Fixed4 ValFixed(std::string_view text) {
  const Parsed p = parseLeading(text);
  if (p.exponent != 0) return Fixed4::fromDouble(Val(text));
  std::string ip = p.intDigits;
  std::size_t nz = ip.find_first_not_of('0');
  ip = nz == std::string::npos ? "" : ip.substr(nz);
  if (ip.size() > 15) return Fixed4::fromDouble(p.negative ? -1e300 : 1e300);
  long long whole = ip.empty() ? 0 : std::stoll(ip);
  if (whole >= Fixed4::kMaxWhole) return Fixed4::fromInt(p.negative ? -whole : whole);
  std::string frac = p.fracDigits;
  long long raw = whole * Fixed4::kScale;
  std::string four = (frac + "0000").substr(0, 4);
  raw += std::stoll(four);
  if (frac.size() > 4) {
    const char first = frac[4];
    const bool restNonZero = frac.find_first_not_of('0', 5) != std::string::npos;
    const bool roundUp = first > '5' || (first == '5' && (restNonZero || (raw % 2 != 0)));
    if (roundUp) ++raw;
  }
  return Fixed4::fromRaw(p.negative ? -raw : raw);
}

bool isWholeNumberIn(std::string_view text, long long lo, long long hi) {
  std::size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  if (b == e || e - b > 18) return false;
  long long v = 0;
  for (std::size_t i = b; i < e; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
  }
  return v >= lo && v <= hi;
}

}  // namespace mdi
