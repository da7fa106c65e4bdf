#pragma once
// A device monitor that fires when told: an eventfd the window watches.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/DeviceMonitor.h"

namespace mdi {

class FakeDeviceMonitor final : public DeviceMonitor {
 public:
  FakeDeviceMonitor() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~FakeDeviceMonitor() override {
    if (m_fd >= 0) ::close(m_fd);
  }
  FakeDeviceMonitor(const FakeDeviceMonitor&) = delete;
  FakeDeviceMonitor& operator=(const FakeDeviceMonitor&) = delete;

  // As if a disk had been attached or detached.
  void fire() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_fd, &one, sizeof one);
  }
  int fd() const override { return m_fd; }
  // Reading the counter empties it: every event fired so far is taken.
  bool takeEvents() override {
    std::uint64_t events = 0;
    return ::read(m_fd, &events, sizeof events) == sizeof events;
  }

 private:
  int m_fd;
};

}  // namespace mdi
