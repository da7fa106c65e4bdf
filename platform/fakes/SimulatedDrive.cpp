#include "platform/fakes/SimulatedDrive.h"

#include <cerrno>
#include <ctime>

namespace mdi {

IoResult SimulatedDrive::read(std::span<std::byte> buf) {
  const std::uint64_t ns = m_timing.latencyNs(buf.size());
  timespec t{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
  }
  return m_inner->read(buf);
}

std::optional<Positioned> SimulatedDrive::positionedRead(std::size_t length) {
  auto p = m_inner->positionedRead(length);
  if (p) p->latencyNs += m_timing.latencyNs(length);
  return p;
}

}  // namespace mdi
