#pragma once
// An eventfd one thread signals and another waits on.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace mdi {

// A run given up tells each lane's ring through one, which the ring polls
// beside its reads (UringLane); the tests' device monitor stands in for
// udev's socket with one.
struct EventWakeup {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  EventWakeup() = default;
  EventWakeup(const EventWakeup&) = delete;
  EventWakeup& operator=(const EventWakeup&) = delete;
  ~EventWakeup() {
    if (fd >= 0) ::close(fd);
  }
  void signal() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);  // only fails when the count is full: still ready
  }
};

}  // namespace mdi
