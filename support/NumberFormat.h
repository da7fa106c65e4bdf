#pragma once
// Number patterns of the read-outs: "#,0" (grouped whole number) and
// "#,0.0" (grouped, one decimal), with the separators of the operator's
// locale passed in.
#include <cstdint>
#include <string>

namespace mdi {

struct Separators {
  std::string group = ",";
  std::string decimal = ".";
};

// "#,0": digit groups of three, at least one digit, sign kept.
std::string formatGrouped(std::int64_t value, const Separators& sep);
// "#,0.0" of a four-decimal fixed-point raw value (value times 10000):
// rounded to one decimal, ties to even.
std::string formatGroupedOneDecimal(std::int64_t raw4, const Separators& sep);

}  // namespace mdi
