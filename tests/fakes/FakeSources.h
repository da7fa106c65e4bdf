#pragma once
// Sources with fault injection, in memory or over another source: a list
// of byte ranges at which a read fails or ends short. Modelled on a rescue
// tool's test-mode map: the faults are data, consulted at the read call.
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/RawIo.h"

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

class MemorySource final : public Source {
 public:
  explicit MemorySource(std::vector<std::byte> data) : m_data(std::move(data)) {}
  IoResult read(std::span<std::byte> buf) override;
  // A read that would touch [begin, end) transfers the bytes before begin
  // and fails.
  void addBadRange(BadRange r) { m_bad.push_back(r); }
  bool seek(std::uint64_t offset) override {
    m_pos = offset;
    return true;
  }

 private:
  std::vector<std::byte> m_data;
  std::vector<BadRange> m_bad;
  std::uint64_t m_pos = 0;
};

// Bad ranges laid over another source, usually a real file. Reads clear of
// every range go to the source as they are, positioned access included; a
// read that would touch a range is served through read() only, transfers
// the bytes before the range and fails.
class FaultySource final : public Source {
 public:
  FaultySource(std::unique_ptr<Source> inner, std::vector<BadRange> bad, std::shared_ptr<ReadLog> log = nullptr)
      : m_inner(std::move(inner)), m_bad(std::move(bad)), m_log(std::move(log)) {}
  IoResult read(std::span<std::byte> buf) override;
  std::optional<Positioned> positionedRead(std::size_t length) override;
  std::optional<Positioned> peekPositioned(std::size_t length) const override;
  void advance(std::size_t bytes) override;
  bool seek(std::uint64_t offset) override;

 private:
  std::unique_ptr<Source> m_inner;
  std::vector<BadRange> m_bad;  // a range that has failed its failTimes is dropped
  std::shared_ptr<ReadLog> m_log;
  std::uint64_t m_pos = 0;
};

}  // namespace mdi
