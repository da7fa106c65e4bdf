#pragma once
// A device monitor that fires when told: an eventfd the window watches.
#include "platform/DeviceMonitor.h"

namespace mdi {

class FakeDeviceMonitor final : public DeviceMonitor {
 public:
  FakeDeviceMonitor();
  ~FakeDeviceMonitor() override;
  FakeDeviceMonitor(const FakeDeviceMonitor&) = delete;
  FakeDeviceMonitor& operator=(const FakeDeviceMonitor&) = delete;

  // As if a disk had been attached or detached.
  void fire();
  int fd() const override { return m_fd; }
  bool takeEvents() override;

 private:
  int m_fd;
};

}  // namespace mdi
