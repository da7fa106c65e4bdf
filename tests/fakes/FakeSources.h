#pragma once
// Sources with fault injection, in memory or over another source: a list
// of byte ranges at which a read fails or ends short. Modelled on a rescue
// tool's test-mode map: the faults are data, consulted at the read call.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/RawIo.h"
#include "tests/fakes/Gate.h"

namespace mdi {

struct BadRange {
  std::uint64_t begin = 0;  // first failing byte
  std::uint64_t end = 0;    // one past the last failing byte
  int error = EIO;
  // A read touching the range transfers nothing at all, as most disks do
  // with a request that covers a bad sector; otherwise it transfers the
  // bytes before the range first.
  bool wholeReadFails = false;
  // Reads through the range fail this many times, then succeed, as a weak
  // sector that reads at last; 0 fails them always.
  int failTimes = 0;
};

// The reads a source was asked for through read(), by byte range.
struct ReadSpan {
  std::uint64_t pos = 0;
  std::uint64_t length = 0;
};
using ReadLog = std::vector<ReadSpan>;

// Bad ranges, a read log and a gate laid over another source, usually a
// real file. Reads clear of every range go to the source as they are,
// positioned access included; a read that would touch a range is served
// through read() only, transfers the bytes before the range and fails. With
// a gate every read goes through read(), and the one that would touch the
// gate's byte is held until it is let go.
class FaultySource : public Source {
 public:
  FaultySource(std::unique_ptr<Source> inner, std::vector<BadRange> bad, std::shared_ptr<ReadLog> log = nullptr,
               std::shared_ptr<Gate> gate = nullptr);
  ~FaultySource() override;
  IoResult read(std::span<std::byte> buf) override;
  std::optional<Positioned> positionedRead(std::size_t length) override;
  void advance(std::size_t bytes) override;
  bool seek(std::uint64_t offset) override;

 private:
  std::vector<BadRange> m_bad;  // a range that has failed its failTimes is dropped
  std::unique_ptr<Source> m_inner;
  std::shared_ptr<ReadLog> m_log;
  std::shared_ptr<Gate> m_gate;
  std::uint64_t m_pos = 0;
};

// Bytes in memory, read through read() only: a source without a descriptor.
class MemorySource final : public Source {
 public:
  explicit MemorySource(std::vector<std::byte> data) : m_data(std::move(data)) {}
  IoResult read(std::span<std::byte> buf) override {
    const std::size_t n = m_pos < m_data.size() ? std::min(buf.size(), m_data.size() - m_pos) : 0;
    if (n) std::memcpy(buf.data(), m_data.data() + m_pos, n);
    m_pos += n;
    return {n, 0};
  }
  bool seek(std::uint64_t offset) override {
    m_pos = static_cast<std::size_t>(offset);
    return true;
  }

 private:
  std::vector<std::byte> m_data;
  std::size_t m_pos = 0;
};

}  // namespace mdi
