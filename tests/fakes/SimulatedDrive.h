#pragma once
// A source that takes as long as a drive would: each read costs an access
// time plus its length at the drive's transfer rate. Like a drive with a
// command queue, it moves one command's data at a time, while the access of
// a command queued behind overlaps the transfer before it: a read asked for
// at time T completes at max(T + access, the previous completion) +
// transfer. read() sleeps until then before reading; a positioned read
// (asked for when it is submitted) carries the wait as latency for the
// caller to wait out beside the transfer. Used to measure how far the copy
// loops keep several drives busy at once.
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "platform/RawIo.h"

namespace mdi {

struct DriveTiming {
  double bytesPerSecond = 150e6;    // 0: no limit on the rate
  std::uint64_t accessNs = 100000;  // 0.1 ms
  // Up to this much more per read, drawn uniformly (seeded per drive), as a
  // real disk's seeks and retries vary.
  std::uint64_t jitterNs = 0;
};

// One drive's clock, as above: when each read booked on it completes. The
// fault filesystem's throttled files (fusedev/FaultFile.h) keep time by it too.
class DrivePace {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  explicit DrivePace(DriveTiming timing = {}, std::uint64_t seed = 1) : m_timing(timing), m_jitter(seed) {}
  // A read of `bytes` asked for now.
  TimePoint book(std::size_t bytes);
  // `busy` of the drive's time after every read booked so far, as a failed
  // read's retries take.
  TimePoint bookAfter(std::chrono::nanoseconds busy);

 private:
  DriveTiming m_timing;
  std::mt19937_64 m_jitter;
  TimePoint m_busyUntil{};
};

class SimulatedDrive final : public Source {
 public:
  SimulatedDrive(std::unique_ptr<Source> inner, DriveTiming timing, std::uint64_t seed = 1)
      : m_inner(std::move(inner)), m_pace(timing, seed) {}
  IoResult read(std::span<std::byte> buf) override;
  std::optional<Positioned> positionedRead(std::size_t length) override;
  void advance(std::size_t bytes) override { m_inner->advance(bytes); }
  bool seek(std::uint64_t offset) override { return m_inner->seek(offset); }

 private:
  std::unique_ptr<Source> m_inner;
  DrivePace m_pace;
};

}  // namespace mdi
