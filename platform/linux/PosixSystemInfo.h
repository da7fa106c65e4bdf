#pragma once
#include "platform/SystemInfo.h"

namespace mdi {

// gethostname(2), the system clock, and $HOME or else the password
// database's entry of the real user.
class PosixSystemInfo final : public SystemInfo {
 public:
  std::string hostName() const override;
  std::chrono::system_clock::time_point now() const override;
  std::string homeFolder() const override;
};

}  // namespace mdi
