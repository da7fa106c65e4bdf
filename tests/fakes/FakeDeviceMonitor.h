#pragma once
// A device monitor that fires when told: an eventfd the window watches.
#include "platform/DeviceMonitor.h"
#include "platform/linux/EventWakeup.h"

namespace mdi {

class FakeDeviceMonitor final : public DeviceMonitor {
 public:
  // As if a disk had been attached or detached.
  void fire() { m_events.signal(); }
  int fd() const override { return m_events.fd; }
  // Reading the counter empties it: every event fired so far is taken.
  bool takeEvents() override {
    std::uint64_t events = 0;
    return ::read(m_events.fd, &events, sizeof events) == sizeof events;
  }

 private:
  EventWakeup m_events;
};

}  // namespace mdi
