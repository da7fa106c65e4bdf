#include "tests/fakes/SimulatedDrive.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace mdi {

DrivePace::TimePoint DrivePace::book(std::size_t bytes) {
  using namespace std::chrono;
  const std::uint64_t jitter =
      m_timing.jitterNs > 0 ? std::uniform_int_distribution<std::uint64_t>(0, m_timing.jitterNs)(m_jitter) : 0;
  const nanoseconds access(m_timing.accessNs + jitter);
  const nanoseconds transfer(m_timing.latencyNs(bytes) - m_timing.accessNs);
  m_busyUntil = std::max(steady_clock::now() + access, m_busyUntil) + transfer;
  return m_busyUntil;
}

DrivePace::TimePoint DrivePace::bookAfter(std::chrono::nanoseconds busy) {
  m_busyUntil = std::max(std::chrono::steady_clock::now(), m_busyUntil) + busy;
  return m_busyUntil;
}

IoResult SimulatedDrive::read(std::span<std::byte> buf) {
  const auto done = m_pace.book(buf.size());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(done.time_since_epoch()).count();
  const timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {}
  return m_inner->read(buf);
}

std::optional<Positioned> SimulatedDrive::positionedRead(std::size_t length) {
  auto p = m_inner->positionedRead(length);
  if (p) {
    const auto wait = m_pace.book(length) - std::chrono::steady_clock::now();
    p->latencyNs += static_cast<std::uint64_t>(std::max<long long>(0, std::chrono::nanoseconds(wait).count()));
  }
  return p;
}

}  // namespace mdi
