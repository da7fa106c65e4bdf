#pragma once
// A gate a transfer waits at until the test lets it go: a drive or target
// that stops answering (FaultyFiles lays it over a source's reads or an
// output's writes). The gate is shared with the test, which can wait,
// without timing, until a transfer is held and until the source or output
// is gone (its last holder let go of it).
//
// Locking: one mutex guards the gate's flags; a held transfer waits on it.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

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
  // Lets every held transfer, and every later one, go on.
  void release() {
    std::lock_guard lk(m_m);
    m_released = true;
    m_cv.notify_all();
  }
  bool held() const {
    std::lock_guard lk(m_m);
    return m_held;
  }
  bool released() const {
    std::lock_guard lk(m_m);
    return m_released;
  }
  // Waits up to `seconds` (a safety net, not a timing) until every source
  // or output made over this gate has been destroyed. True when they were.
  bool waitGone(int seconds) {
    std::unique_lock lk(m_m);
    return m_cv.wait_for(lk, std::chrono::seconds(seconds), [&] { return m_attached == 0; });
  }

  // For the sources and outputs.
  void hold() {
    std::unique_lock lk(m_m);
    m_held = true;
    m_cv.wait(lk, [&] { return m_released; });
  }
  void attach() {
    std::lock_guard lk(m_m);
    ++m_attached;
  }
  void detach() {
    std::lock_guard lk(m_m);
    --m_attached;
    m_cv.notify_all();
  }

 private:
  mutable std::mutex m_m;
  std::condition_variable m_cv;
  std::uint64_t m_holdAt;
  std::size_t m_maxLength;
  bool m_held = false;
  bool m_released = false;
  int m_attached = 0;  // live sources and outputs over this gate
};

}  // namespace mdi
