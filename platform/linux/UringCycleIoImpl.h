#pragma once
// The io_uring path's cycle (see makeUringCycleIo): its state, shared by
// UringCycleIo.cpp (steps handed out, waited for, settled, abandoned) and
// UringReads.cpp (the ring: each lane's reads, those started early, and
// their completions).
#include <liburing.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CycleIo.h"
#include "platform/LaneThreads.h"
#include "platform/linux/AlignedBuffer.h"
#include "platform/linux/BufferPool.h"
#include "platform/linux/EventWakeup.h"

namespace mdi::uring {

enum class Kind : std::uint64_t { Read = 1, Delay = 2, Writeback = 3, Wake = 4 };

// Each lane reads into this many buffers: the one its step is writing from,
// and up to kAhead reads started early behind it, so the drive always has
// the next command queued when one completes and never waits for this
// thread to ask for it.
inline constexpr int kAhead = 2;
inline constexpr int kSlots = kAhead + 1;

// Written data is handed to the disk in pieces this large as the run goes,
// instead of all at once when the file is closed.
inline constexpr std::uint64_t kWritebackChunk = 8u << 20;

// Requests carry their lane, buffer slot and kind in user_data.
inline std::uint64_t tag(std::size_t lane, int slot, Kind kind) {
  return (static_cast<std::uint64_t>(lane) << 8) | (static_cast<std::uint64_t>(slot) << 4) |
         static_cast<std::uint64_t>(kind);
}

inline bool retryable(int res) { return res == -EINTR || res == -EAGAIN; }

class UringCycleIo final : public CycleIo {
 public:
  explicit UringCycleIo(const std::vector<Lane>& lanes)
      : m_wakeup(std::make_shared<EventWakeup>()),
        m_lanes(lanes.size()),
        m_threads(lanes, [w = m_wakeup] { w->signal(); }) {
    for (std::size_t i = 0; i < lanes.size(); ++i) m_lanes[i].io = lanes[i];
  }
  ~UringCycleIo() override {
    if (!m_ready) return;
    quiesce();
    io_uring_queue_exit(&m_ring);
  }
  // Sets the ring up. 0, or the errno that makes io_uring unusable here.
  int init();
  UringCycleIo(const UringCycleIo&) = delete;
  UringCycleIo& operator=(const UringCycleIo&) = delete;

  void start(std::span<Step> steps, const Prepare& prepare) override;
  bool wait(std::chrono::milliseconds timeout) override;
  void abandon(std::span<Held> held) override;
  void quiesce() override;
  const char* name() const override { return "io_uring"; }

 private:
  // One read into one of a lane's two buffers.
  struct Read {
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
  // Where the bytes of a lane's output not yet handed for writeback begin.
  struct Writeback {
    int fd = -1;
    std::uint64_t from = 0;
  };
  struct LaneState {
    Lane io;
    // Shared with the lane's thread while it writes from one, and with
    // whoever prepare let hold it (a hash behind the copy): each read takes
    // a buffer of its own from the pool.
    std::shared_ptr<AlignedBuffer> buf[kSlots];
    Read rd[kSlots];
    Writeback wb;
    int cur = 0;             // slot of this step's read
    std::vector<int> ahead;  // slots of reads started early, in source order
    Step* step = nullptr;    // set while the lane's step is out
    bool onThread = false;   // the step is on the lane's thread
    bool writing = false;    // ... and it is the prepare and write of a read done here
  };

  // A request slot; `counted` requests are waited out before the ring or
  // the buffers go.
  io_uring_sqe* sqe(bool counted = true);
  void submitRead(std::size_t lane, int slot);
  // Hands the disk what the lane's output holds up to `end`, when enough
  // has gathered since the last time.
  void startWriteback(std::size_t lane, int fd, std::uint64_t end);
  // Has the ring complete a request when a lane thread signals.
  void armWakeup();
  // Starts a read of `len` bytes at `at` into the slot's buffer.
  void startRead(std::size_t lane, int slot, const Positioned& at, std::size_t len);
  // This cycle's read of the lane is complete: records it and reads ahead.
  void readDone(std::size_t lane, std::size_t got, int error, bool positioned);
  // Starts reads of the blocks after the lane's position, each `len` long,
  // until kAhead are out or no buffer is free.
  void readAhead(std::size_t lane, std::size_t len);
  // Lets every read started early finish unseen.
  void dropAhead(LaneState& L);
  // A buffer no read uses and the lane's step is not writing from; -1 if none.
  static int idleSlot(const LaneState& L, int busy);
  // Hands the blocks of the lanes whose reads are done to their threads,
  // to be prepared and written.
  void writeReady();
  void finish(std::size_t lane);
  // Submits what is queued, waits for at least one completion, handles all
  // that have arrived.
  // False when `timeout` passed first.
  bool waitSome(const __kernel_timespec* timeout = nullptr);
  void handle(const io_uring_cqe& cqe);
  // Lanes whose steps on their threads have returned are done.
  void collectThreads();

  io_uring m_ring{};
  bool m_ready = false;
  std::shared_ptr<EventWakeup> m_wakeup;
  std::shared_ptr<BufferPool> m_buffers = std::make_shared<BufferPool>();
  bool m_wakeArmed = false;  // the poll of m_wakeup is out
  std::vector<LaneState> m_lanes;
  LaneThreads m_threads;                 // each lane's prepare and write, and reads without a descriptor
  std::vector<std::size_t> m_readLanes;  // lanes read and waiting for writeReady()
  const Prepare* m_prepare = nullptr;
  std::size_t m_unfinished = 0;  // lanes whose step is out
  std::size_t m_onThread = 0;    // ... of which on their threads
  std::size_t m_reported = 0;    // steps finished since wait() last returned
  std::size_t m_inFlight = 0;    // requests the kernel has not completed
};

}  // namespace mdi::uring
