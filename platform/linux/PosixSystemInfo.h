#pragma once
#include "platform/SystemInfo.h"

namespace mdi {

// gethostname(2) and the system clock.
class PosixSystemInfo final : public SystemInfo {
 public:
  std::string hostName() const override;
  std::chrono::system_clock::time_point now() const override;
};

}  // namespace mdi
