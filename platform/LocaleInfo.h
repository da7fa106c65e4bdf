#pragma once
#include "support/NumberFormat.h"

namespace mdi {

// The operator's digit-group and decimal separators.
class LocaleInfo {
 public:
  virtual ~LocaleInfo() = default;
  virtual Separators separators() const = 0;
};

}  // namespace mdi
