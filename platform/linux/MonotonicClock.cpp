#include "platform/linux/MonotonicClock.h"

#include <time.h>

namespace mdi {

std::int32_t MonotonicClock::tickMs() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

}  // namespace mdi
