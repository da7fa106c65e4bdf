#include "discovery/FormatSize.h"

#include <cstdint>

#include "support/Fixed4.h"
#include "support/Val.h"

namespace mdi {

std::string FormatSize(std::string_view bytesText, const Separators& sep) {
  const Fixed4 bytes = ValFixed(bytesText);
  constexpr std::int64_t kKb = 1024;
  constexpr std::int64_t kMb = kKb * 1024;
  constexpr std::int64_t kGb = kMb * 1024;
  constexpr std::int64_t kTb = kGb * 1024;
  struct Unit {
    std::int64_t divisor;
    const char* suffix;
  };
  // Strictly greater: exactly 1024 stays "1,024.0 bytes".
  static constexpr Unit kUnits[] = {{kTb, " Tb"}, {kGb, " Gb"}, {kMb, " Mb"}, {kKb, " Kb"}};
  for (const Unit& u : kUnits) {
    if (bytes > Fixed4::fromInt(u.divisor))
      return formatGroupedOneDecimal(bytes.dividedBy(u.divisor).raw(), sep) + u.suffix;
  }
  return formatGroupedOneDecimal(bytes.raw(), sep) + " bytes";
}

}  // namespace mdi
