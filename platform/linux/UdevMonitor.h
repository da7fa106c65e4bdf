#pragma once
// Block-device events from the kernel through libudev: from udevd when it
// runs (its events come after the device nodes and properties are ready),
// else straight from the kernel (containers, minimal systems).
#include <memory>

#include "platform/DeviceMonitor.h"

namespace mdi {

class UdevMonitor final : public DeviceMonitor {
 public:
  UdevMonitor();
  ~UdevMonitor() override;
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  int fd() const override;
  bool takeEvents() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

}  // namespace mdi
