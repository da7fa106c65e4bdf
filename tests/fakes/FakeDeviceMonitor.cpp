#include "tests/fakes/FakeDeviceMonitor.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace mdi {

FakeDeviceMonitor::FakeDeviceMonitor() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FakeDeviceMonitor::~FakeDeviceMonitor() {
  if (m_fd >= 0) ::close(m_fd);
}

void FakeDeviceMonitor::fire() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(m_fd, &one, sizeof one);
}

// Reading the counter empties it: every event fired so far is taken.
bool FakeDeviceMonitor::takeEvents() {
  std::uint64_t events = 0;
  return ::read(m_fd, &events, sizeof events) == sizeof events;
}

}  // namespace mdi
