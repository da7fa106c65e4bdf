#pragma once
// A source whose read of a chosen byte blocks until the test lets it go: a
// drive that stops answering; and an output whose write of a chosen byte
// blocks the same way: a target that stops answering. The gate is shared with the test, which can
// wait, without timing, until a read is held and until the source is gone
// (its last holder let go of it).
//
// Locking: one mutex guards the gate's flags; the read waits on it.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/RawIo.h"

namespace mdi {

class Gate {
 public:
  // maxLength: only transfers of at most this many bytes are held, as a
  // drive that fails a large read and then hangs on the re-read of one
  // sector.
  explicit Gate(std::uint64_t holdAt, std::size_t maxLength = SIZE_MAX) : m_holdAt(holdAt), m_maxLength(maxLength) {}
  // Whether a transfer of `length` bytes from `pos` is held.
  bool holds(std::uint64_t pos, std::size_t length) const {
    return length <= m_maxLength && pos <= m_holdAt && m_holdAt < pos + length;
  }
  // Lets every held read, and every later one, go on.
  void release();
  bool held() const;
  bool released() const;
  // Waits up to `seconds` (a safety net, not a timing) until every source
  // or output made over this gate has been destroyed. True when they were.
  bool waitGone(int seconds);

  // For the sources and outputs.
  void hold();
  void attach();
  void detach();

 private:
  mutable std::mutex m_m;
  std::condition_variable m_cv;
  std::uint64_t m_holdAt;
  std::size_t m_maxLength;
  bool m_held = false;
  bool m_released = false;
  int m_attached = 0;  // live sources and outputs over this gate
};

class GatedSource final : public Source {
 public:
  GatedSource(std::unique_ptr<Source> inner, std::shared_ptr<Gate> gate)
      : m_inner(std::move(inner)), m_gate(std::move(gate)) {
    m_gate->attach();
  }
  ~GatedSource() override { m_gate->detach(); }
  // Holds a read that would touch the gate's byte until release(), then
  // reads through the inner source's read().
  IoResult read(std::span<std::byte> buf) override;
  bool seek(std::uint64_t offset) override {
    if (!m_inner->seek(offset)) return false;
    m_pos = offset;
    return true;
  }

 private:
  std::unique_ptr<Source> m_inner;
  std::shared_ptr<Gate> m_gate;
  std::uint64_t m_pos = 0;
};

class GatedOutput final : public Output {
 public:
  GatedOutput(std::unique_ptr<Output> inner, std::shared_ptr<Gate> gate)
      : m_inner(std::move(inner)), m_gate(std::move(gate)) {
    m_gate->attach();
  }
  ~GatedOutput() override { m_gate->detach(); }
  // Holds a write that would touch the gate's byte until release().
  IoResult write(std::span<const std::byte> buf) override;
  int resize(std::uint64_t size) override { return m_inner->resize(size); }
  int seek(std::uint64_t offset) override {
    m_pos = offset;
    return m_inner->seek(offset);
  }
  int close() override { return m_inner->close(); }

 private:
  std::unique_ptr<Output> m_inner;
  std::shared_ptr<Gate> m_gate;
  std::uint64_t m_pos = 0;
};

}  // namespace mdi
