#pragma once
// An eventfd one thread signals and another waits on (here: polled through
// io_uring, so one wait covers the ring's completions and the signals).
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace mdi {

// Lane threads tell the ring's waiter that a step has finished through an
// eventfd it polls. Shared with the lane threads, which may outlive the
// object that made it.
struct EventWakeup {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  int error = fd < 0 ? errno : 0;  // why there is no eventfd
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
  void drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
  }
};

}  // namespace mdi
