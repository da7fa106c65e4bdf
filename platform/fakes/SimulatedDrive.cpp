#include "platform/fakes/SimulatedDrive.h"

#include <cerrno>
#include <ctime>

namespace mdi {

std::uint64_t SimulatedDrive::latencyNs(std::size_t bytes) {
  const std::uint64_t extra =
      m_timing.jitterNs > 0 ? std::uniform_int_distribution<std::uint64_t>(0, m_timing.jitterNs)(m_jitter) : 0;
  return m_timing.latencyNs(bytes) + extra;
}

IoResult SimulatedDrive::read(std::span<std::byte> buf) {
  const std::uint64_t ns = latencyNs(buf.size());
  timespec t{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
  }
  return m_inner->read(buf);
}

std::optional<Positioned> SimulatedDrive::positionedRead(std::size_t length) {
  auto p = m_inner->positionedRead(length);
  if (p) p->latencyNs += latencyNs(length);
  return p;
}

}  // namespace mdi
