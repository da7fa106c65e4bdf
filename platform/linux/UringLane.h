#pragma once
// One lane's reads through an io_uring ring of its own, on the lane's
// thread (see makeUringCycleIo).
//
// Threads: the ring is set up on the lane's thread the first time it reads,
// as its only submitter, and the completions' work runs on that thread. So
// a block read from the page cache is copied on the core that then writes
// it. wakeForAbandon() may come from any thread: it only signals an
// eventfd the ring polls. Everything else, the destructor included, runs
// on the lane's thread.
//
// A step's read is started when the step asks for it, never earlier: the
// page cache's own read-ahead already keeps a drive busy with the blocks
// after it, and a block read early into a buffer of the lane's was copied
// through memory one step before its write, which cost more than it won.
#include <liburing.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/LaneReader.h"
#include "platform/linux/AlignedBuffer.h"
#include "platform/linux/BufferPool.h"
#include "platform/linux/EventWakeup.h"

namespace mdi::uring {

// Written data is handed to the disk in pieces this large as the run goes,
// instead of all at once when the file is closed.
inline constexpr std::uint64_t kWritebackChunk = 8u << 20;

// Sets up a ring as a lane does and lets it go again: 0, or the errno that
// makes io_uring unusable here (setup refused, as by seccomp or
// io_uring_disabled, or a request kind missing).
int probeRing();

class UringLane final : public LaneReader {
 public:
  explicit UringLane(CycleIo::Lane io) : m_io(io) {}
  ~UringLane() override;
  UringLane(const UringLane&) = delete;
  UringLane& operator=(const UringLane&) = delete;

  Got read(const CycleIo::Step& step, std::size_t length) override;
  void written() override;
  bool outstanding() const override { return m_inFlight > 0; }
  void wakeForAbandon() override { m_abandon.signal(); }

 private:
  bool ready();  // the ring, set up on first use; false: read() plainly
  Got readPlainly(std::size_t length);
  // A request slot; counted requests are waited out before the ring or the
  // buffer goes.
  io_uring_sqe* sqe(bool counted = true);
  void submitRead();
  // Submits what is queued, waits for a completion and handles all that
  // have arrived. False once the run is given up.
  bool waitSome();
  void handle(const io_uring_cqe& cqe);

  CycleIo::Lane m_io;
  io_uring m_ring{};
  enum class Ring { Unset, Ready, Unusable } m_state = Ring::Unset;
  EventWakeup m_abandon;
  bool m_abandoned = false;
  // Each read takes a buffer of its own from the pool: whoever prepare let
  // hold the last one (a hash behind the copy) keeps it.
  std::shared_ptr<BufferPool> m_buffers = std::make_shared<BufferPool>();
  std::shared_ptr<AlignedBuffer> m_buf;
  // This step's read.
  int m_fd = -1;
  std::uint64_t m_offset = 0;
  std::size_t m_want = 0, m_got = 0;
  int m_error = 0;
  bool m_reading = false;   // a read request is outstanding
  bool m_delaying = false;  // a latency timeout is outstanding
  __kernel_timespec m_latency{};
  // The output's bytes from m_writebackFrom on have not been handed to the
  // disk yet.
  int m_writebackFd = -1;
  std::uint64_t m_writebackFrom = 0;
  std::size_t m_inFlight = 0;  // counted requests the kernel has not completed
};

}  // namespace mdi::uring
