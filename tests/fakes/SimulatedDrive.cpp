#include "tests/fakes/SimulatedDrive.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace mdi {

std::uint64_t SimulatedDrive::latencyNs(std::size_t bytes) {
  using namespace std::chrono;
  const std::uint64_t jitter =
      m_timing.jitterNs > 0 ? std::uniform_int_distribution<std::uint64_t>(0, m_timing.jitterNs)(m_jitter) : 0;
  const nanoseconds access(m_timing.accessNs + jitter);
  const nanoseconds transfer(m_timing.latencyNs(bytes) - m_timing.accessNs);
  const auto now = steady_clock::now();
  m_busyUntil = std::max(now + access, m_busyUntil) + transfer;
  return static_cast<std::uint64_t>(duration_cast<nanoseconds>(m_busyUntil - now).count());
}

IoResult SimulatedDrive::read(std::span<std::byte> buf) {
  const std::uint64_t ns = latencyNs(buf.size());
  timespec t{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {}
  return m_inner->read(buf);
}

std::optional<Positioned> SimulatedDrive::positionedRead(std::size_t length) {
  auto p = m_inner->positionedRead(length);
  if (p) p->latencyNs += latencyNs(length);
  return p;
}

}  // namespace mdi
