#pragma once
// One lane's reads through an io_uring ring of its own, on the lane's
// thread (see makeUringCycleIo).
//
// Threads: the ring is set up on the lane's thread the first time it reads,
// as its only submitter, and the completions' work runs on that thread. So
// a block read from the page cache is copied on the core that then writes
// it. wakeForAbandon() may come from any thread: it only
// signals an eventfd the ring polls. Everything else, the destructor
// included, runs on the lane's thread.
#include <liburing.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/LaneReader.h"
#include "platform/linux/AlignedBuffer.h"
#include "platform/linux/BufferPool.h"
#include "platform/linux/EventWakeup.h"

namespace mdi::uring {

// Each lane reads into this many buffers: the one its step is writing from,
// and up to kAhead reads started early behind it, so the drive always has
// the next command queued when one completes.
inline constexpr int kAhead = 2;
inline constexpr int kSlots = kAhead + 1;

// Written data is handed to the disk in pieces this large as the run goes,
// instead of all at once when the file is closed.
inline constexpr std::uint64_t kWritebackChunk = 8u << 20;

// Sets up a ring as the lanes do. 0, or the errno that makes io_uring
// unusable here (setup refused, as by seccomp or io_uring_disabled, or a
// request kind missing).
int setUpRing(io_uring& ring, unsigned entries);

class UringLane final : public LaneReader {
 public:
  explicit UringLane(CycleIo::Lane io) : m_io(io) {}
  ~UringLane() override;
  UringLane(const UringLane&) = delete;
  UringLane& operator=(const UringLane&) = delete;

  Got read(const CycleIo::Step& step) override;
  void written() override;
  bool outstanding() const override { return m_inFlight > 0; }
  void wakeForAbandon() override { m_abandon.signal(); }

 private:
  // One read into one of the lane's buffers.
  struct Slot {
    enum class Role { Idle, Current, Ahead, Dropped } role = Role::Idle;
    bool reading = false;   // a read request is outstanding
    bool delaying = false;  // a latency timeout is outstanding
    int fd = -1;
    std::uint64_t offset = 0;
    std::size_t want = 0;
    std::size_t got = 0;
    int error = 0;
    __kernel_timespec latency{};
    bool complete() const { return !reading && !delaying; }
  };

  bool ready();  // the ring, set up on first use; false: read() plainly
  Got readPlainly(std::size_t length);
  // A request slot; counted requests are waited out before the ring or the
  // buffers go.
  io_uring_sqe* sqe(bool counted = true);
  void submitRead(int slot);
  // Starts a read of `len` bytes at `at` into the slot's buffer.
  void startRead(int slot, const Positioned& at, std::size_t len);
  // Starts reads of the blocks after the source's position, each `len`
  // long, until kAhead are out or no buffer is free.
  void readAhead(std::size_t len);
  // Lets every read started early finish unseen.
  void dropAhead();
  // A buffer no read uses, other than `busy`; -1 if none.
  int idleSlot(int busy) const;
  // Submits what is queued, waits for a completion and handles all that
  // have arrived. False once the run is given up.
  bool waitSome();
  void handle(const io_uring_cqe& cqe);

  CycleIo::Lane m_io;
  io_uring m_ring{};
  enum class Ring { Unset, Ready, Unusable } m_state = Ring::Unset;
  EventWakeup m_abandon;
  bool m_abandoned = false;
  std::shared_ptr<BufferPool> m_buffers = std::make_shared<BufferPool>();
  // Shared with whoever prepare let hold one (a hash behind the copy): each
  // read takes a buffer of its own from the pool.
  std::shared_ptr<AlignedBuffer> m_buf[kSlots];
  Slot m_slot[kSlots];
  int m_cur = 0;             // slot of this step's read
  std::vector<int> m_ahead;  // slots of reads started early, in source order
  // The output's bytes from m_writebackFrom on have not been handed to the
  // disk yet.
  int m_writebackFd = -1;
  std::uint64_t m_writebackFrom = 0;
  std::size_t m_inFlight = 0;  // counted requests the kernel has not completed
};

}  // namespace mdi::uring
