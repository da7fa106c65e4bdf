#pragma once
#include <cstdint>

namespace mdi {

// A monotonic millisecond tick truncated to 32 bits: it wraps after about
// 49.7 days, and read as a signed value it turns negative after 24.8 days.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int32_t tickMs() = 0;
};

}  // namespace mdi
