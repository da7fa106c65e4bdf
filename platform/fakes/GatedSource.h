#pragma once
// A source whose read of a chosen byte blocks until the test lets it go: a
// drive that stops answering. The gate is shared with the test, which can
// wait, without timing, until a read is held and until the source is gone
// (its last holder let go of it).
//
// Locking: one mutex guards the gate's flags; the read waits on it.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/RawIo.h"

namespace mdi {

class Gate {
 public:
  explicit Gate(std::uint64_t holdAt) : m_holdAt(holdAt) {}
  std::uint64_t holdAt() const { return m_holdAt; }
  // Lets every held read, and every later one, go on.
  void release();
  bool held() const;
  bool released() const;
  bool gone() const;
  // Wait up to `seconds` (a safety net, not a timing) for a held read / the
  // source's end. True when it came.
  bool waitHeld(int seconds);
  bool waitGone(int seconds);

  // For the source.
  void hold();
  void sourceGone();

 private:
  mutable std::mutex m_m;
  std::condition_variable m_cv;
  std::uint64_t m_holdAt;
  bool m_held = false;
  bool m_released = false;
  bool m_gone = false;
};

class GatedSource final : public Source {
 public:
  GatedSource(std::unique_ptr<Source> inner, std::shared_ptr<Gate> gate)
      : m_inner(std::move(inner)), m_gate(std::move(gate)) {}
  ~GatedSource() override { m_gate->sourceGone(); }
  // Holds a read that would touch the gate's byte until release(), then
  // reads through the inner source's read().
  IoResult read(std::span<std::byte> buf) override;

 private:
  std::unique_ptr<Source> m_inner;
  std::shared_ptr<Gate> m_gate;
  std::uint64_t m_pos = 0;
};

}  // namespace mdi
