#pragma once
// A device monitor that fires when told: a pipe the window watches.
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
  int fd() const override { return m_read; }
  bool takeEvents() override;

 private:
  int m_read = -1;
  int m_write = -1;
};

}  // namespace mdi
