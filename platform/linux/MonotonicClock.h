#pragma once
#include "platform/Clock.h"

namespace mdi {

class MonotonicClock final : public Clock {
 public:
  std::int32_t tickMs() override;
};

}  // namespace mdi
