#include "tests/fakes/SimulatedDrive.h"

#include <algorithm>
#include <thread>

namespace mdi {

DrivePace::TimePoint DrivePace::book(std::size_t bytes) {
  using namespace std::chrono;
  const std::uint64_t jitter =
      m_timing.jitterNs > 0 ? std::uniform_int_distribution<std::uint64_t>(0, m_timing.jitterNs)(m_jitter) : 0;
  const nanoseconds access(m_timing.accessNs + jitter);
  const double seconds = m_timing.bytesPerSecond > 0 ? static_cast<double>(bytes) / m_timing.bytesPerSecond : 0;
  const nanoseconds transfer(static_cast<std::int64_t>(seconds * 1e9));
  m_busyUntil = std::max(steady_clock::now() + access, m_busyUntil) + transfer;
  return m_busyUntil;
}

DrivePace::TimePoint DrivePace::bookAfter(std::chrono::nanoseconds busy) {
  m_busyUntil = std::max(std::chrono::steady_clock::now(), m_busyUntil) + busy;
  return m_busyUntil;
}

IoResult SimulatedDrive::read(std::span<std::byte> buf) {
  std::this_thread::sleep_until(m_pace.book(buf.size()));
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
