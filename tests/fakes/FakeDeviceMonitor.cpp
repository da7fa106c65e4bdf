#include "tests/fakes/FakeDeviceMonitor.h"

#include <fcntl.h>
#include <unistd.h>

namespace mdi {

FakeDeviceMonitor::FakeDeviceMonitor() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    m_read = fds[0];
    m_write = fds[1];
  }
}

FakeDeviceMonitor::~FakeDeviceMonitor() {
  if (m_read >= 0) ::close(m_read);
  if (m_write >= 0) ::close(m_write);
}

void FakeDeviceMonitor::fire() {
  const char c = 1;
  [[maybe_unused]] const auto n = ::write(m_write, &c, 1);
}

bool FakeDeviceMonitor::takeEvents() {
  char buf[64];
  bool any = false;
  while (::read(m_read, buf, sizeof buf) > 0) any = true;
  return any;
}

}  // namespace mdi
