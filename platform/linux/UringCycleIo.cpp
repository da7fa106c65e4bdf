#include "platform/linux/UringCycleIo.h"

#include <liburing.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/LaneThreads.h"
#include "platform/linux/AlignedBuffer.h"
#include "platform/linux/EventWakeup.h"

namespace mdi {
namespace {

enum class Kind : std::uint64_t { Read = 1, Delay = 2, Writeback = 3, Wake = 4 };

// Each lane reads into this many buffers: the one its step is writing from,
// and up to kAhead reads started early behind it, so the drive always has
// the next command queued when one completes and never waits for this
// thread to ask for it.
constexpr int kAhead = 2;
constexpr int kSlots = kAhead + 1;

// Written data is handed to the disk in pieces this large as the run goes,
// instead of all at once when the file is closed.
constexpr std::uint64_t kWritebackChunk = 8u << 20;

// Requests carry their lane, buffer slot and kind in user_data.
std::uint64_t tag(std::size_t lane, int slot, Kind kind) {
  return (static_cast<std::uint64_t>(lane) << 8) | (static_cast<std::uint64_t>(slot) << 4) |
         static_cast<std::uint64_t>(kind);
}

bool supported(io_uring& ring);

bool retryable(int res) { return res == -EINTR || res == -EAGAIN; }

class UringCycleIo final : public CycleIo {
 public:
  explicit UringCycleIo(const std::vector<Lane>& lanes)
      : m_wakeup(std::make_shared<EventWakeup>()),
        m_lanes(lanes.size()),
        // One job on a machine of two cores or more: its thread and this
        // one hand each block over awake.
        m_threads(
            lanes, [w = m_wakeup] { w->signal(); }, 2 * lanes.size() <= std::thread::hardware_concurrency()) {
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
    // Shared with the lane's thread while it writes from one.
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
  bool m_wakeArmed = false;  // the poll of m_wakeup is out
  std::vector<LaneState> m_lanes;
  LaneThreads m_threads;                 // each lane's prepare and write, and reads without a descriptor
  std::vector<std::size_t> m_readLanes;  // lanes read and waiting for writeReady()
  const Prepare* m_prepare = nullptr;
  std::size_t m_unfinished = 0;  // lanes whose step is out
  std::size_t m_reported = 0;    // steps finished since wait() last returned
  std::size_t m_inFlight = 0;    // requests the kernel has not completed
};

io_uring_sqe* UringCycleIo::sqe(bool counted) {
  io_uring_sqe* s = io_uring_get_sqe(&m_ring);
  if (!s) {
    // The ring holds as many requests per lane as a lane ever has
    // outstanding, so a full queue only needs handing over.
    io_uring_submit(&m_ring);
    s = io_uring_get_sqe(&m_ring);
    if (!s) throw std::system_error(EBUSY, std::generic_category(), "io_uring submission queue full");
  }
  if (counted) ++m_inFlight;
  return s;
}

void UringCycleIo::armWakeup() {
  if (m_wakeArmed) return;
  io_uring_sqe* s = sqe(false);
  io_uring_prep_poll_add(s, m_wakeup->fd, POLLIN);
  io_uring_sqe_set_data64(s, tag(0, 0, Kind::Wake));
  m_wakeArmed = true;
}

void UringCycleIo::submitRead(std::size_t lane, int slot) {
  LaneState& L = m_lanes[lane];
  Read& r = L.rd[slot];
  io_uring_sqe* s = sqe();
  io_uring_prep_read(s, r.fd, L.buf[slot]->data() + r.got, static_cast<unsigned>(r.want - r.got), r.offset + r.got);
  io_uring_sqe_set_data64(s, tag(lane, slot, Kind::Read));
  r.reading = true;
}

void UringCycleIo::startRead(std::size_t lane, int slot, const Positioned& at, std::size_t len) {
  LaneState& L = m_lanes[lane];
  if (!L.buf[slot]) L.buf[slot] = std::make_shared<AlignedBuffer>();
  L.buf[slot]->reserve(len);
  Read& r = L.rd[slot];
  r = Read{};
  r.role = Read::Role::Current;
  r.fd = at.fd;
  r.offset = at.offset;
  r.want = len;
  submitRead(lane, slot);
  if (at.latencyNs > 0) {
    r.latency.tv_sec = static_cast<long long>(at.latencyNs / 1000000000u);
    r.latency.tv_nsec = static_cast<long long>(at.latencyNs % 1000000000u);
    io_uring_sqe* s = sqe();
    io_uring_prep_timeout(s, &r.latency, 0, 0);
    io_uring_sqe_set_data64(s, tag(lane, slot, Kind::Delay));
    r.delaying = true;
  }
}

void UringCycleIo::start(std::span<Step> steps, const Prepare& prepare) {
  m_prepare = &prepare;
  std::vector<std::size_t> plain;
  for (std::size_t i = 0; i < steps.size() && i < m_lanes.size(); ++i) {
    Step& st = steps[i];
    if (!st.takeGo()) continue;
    LaneState& L = m_lanes[i];
    L.step = &st;
    ++m_unfinished;
    if (!L.ahead.empty()) {
      const int front = L.ahead.front();
      Read& a = L.rd[front];
      const auto here = L.io.source->peekPositioned(st.readLength);
      if (here && a.want == st.readLength && a.fd == here->fd && a.offset == here->offset) {
        // The first read started early is this step's read.
        L.ahead.erase(L.ahead.begin());
        L.cur = front;
        a.role = Read::Role::Current;
        if (a.complete()) readDone(i, a.got, a.error, true);
        continue;
      }
      // Not the read asked for: the reads started early were for another
      // run of blocks.
      dropAhead(L);
    }
    const auto at = L.io.source->positionedRead(st.readLength);
    if (!at) {
      plain.push_back(i);
      continue;
    }
    // The previous step's buffer is free again, so there is always one.
    L.cur = idleSlot(L, -1);
    startRead(i, L.cur, *at, st.readLength);
  }
  // Sources without a descriptor, on threads of their own, while the
  // others' requests run.
  for (std::size_t i : plain) {
    m_lanes[i].onThread = true;
    m_threads.start(i, *m_lanes[i].step, prepare);
  }
  writeReady();
}

void UringCycleIo::collectThreads() {
  for (std::size_t lane : m_threads.takeFinished()) {
    LaneState& L = m_lanes[lane];
    const Step& st = *L.step;
    if (L.writing && !st.write.failed()) {
      if (const auto at = L.io.output->positionedWrite(0)) startWriteback(lane, at->fd, at->offset);
    }
    L.onThread = L.writing = false;
    finish(lane);
  }
}

bool UringCycleIo::wait(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    collectThreads();
    if (m_reported > 0 || m_unfinished == 0) break;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    if (std::any_of(m_lanes.begin(), m_lanes.end(), [](const LaneState& L) { return L.onThread; }) &&
        m_threads.spinForFinish())
      continue;
    // A lane thread that finishes wakes the ring through the eventfd.
    armWakeup();
    const auto slice = std::chrono::duration_cast<std::chrono::nanoseconds>(left);
    __kernel_timespec ts{};
    ts.tv_sec = static_cast<long long>(slice.count() / 1000000000);
    ts.tv_nsec = static_cast<long long>(slice.count() % 1000000000);
    waitSome(&ts);
  }
  // Reads started early by the last completions go out now.
  if (io_uring_sq_ready(&m_ring) > 0) io_uring_submit(&m_ring);
  m_reported = 0;
  return true;
}

void UringCycleIo::abandon(std::span<Held> held) {
  m_threads.abandon(held);
  // Steps that finished before the abandon keep their outcomes.
  collectThreads();
  for (std::size_t i = 0; i < m_lanes.size(); ++i) {
    LaneState& L = m_lanes[i];
    if (L.step) L.step->pending = true;
    L.step = nullptr;
    L.onThread = L.writing = false;
  }
  m_unfinished = 0;
  m_reported = 0;
  m_readLanes.clear();
  m_prepare = nullptr;
  if (!m_ready || (m_inFlight == 0 && !m_wakeArmed)) return;
  // Reads still out (this cycle's, or started early) are cancelled where
  // the kernel can; the ring and its buffers then wait out every request
  // on a thread of their own, with the sources those reads use.
  io_uring_sqe* s = sqe();
  io_uring_prep_cancel64(s, 0, IORING_ASYNC_CANCEL_ANY);
  io_uring_sqe_set_data64(s, tag(0, 0, Kind::Writeback));
  io_uring_submit(&m_ring);
  std::vector<std::unique_ptr<Source>> kept;
  for (auto& h : held)
    if (h.source) kept.push_back(std::move(h.source));
  struct Drain {
    io_uring ring;
    std::vector<LaneState> lanes;  // the buffers the kernel may still fill
    std::vector<std::unique_ptr<Source>> sources;
    std::size_t inFlight;
  };
  // The wakeup's poll is out too: cancelled with the rest, it completes.
  auto d =
      std::make_unique<Drain>(Drain{m_ring, std::move(m_lanes), std::move(kept), m_inFlight + (m_wakeArmed ? 1 : 0)});
  m_wakeArmed = false;
  m_ready = false;  // the ring is the drain's now
  m_inFlight = 0;
  std::thread([d = std::move(d)] {
    while (d->inFlight > 0) {
      io_uring_cqe* cqe = nullptr;
      const int ret = io_uring_wait_cqe(&d->ring, &cqe);
      if (ret == -EINTR || ret == -EAGAIN) continue;
      if (ret < 0) break;
      io_uring_cqe_seen(&d->ring, cqe);
      --d->inFlight;
    }
    io_uring_queue_exit(&d->ring);
  }).detach();
}

void UringCycleIo::readDone(std::size_t lane, std::size_t got, int error, bool positioned) {
  LaneState& L = m_lanes[lane];
  Step& st = *L.step;
  L.rd[L.cur].role = Read::Role::Idle;
  if (positioned) L.io.source->advance(got);
  st.read = {got, error};
  if (got == 0) {
    finish(lane);
    return;
  }
  // The next reads go out before this block is prepared and written, so
  // the source is busy while the engine works; the block itself is written
  // by writeReady().
  if (st.readAhead && error == 0 && got == st.readLength) readAhead(lane, st.readLength);
  m_readLanes.push_back(lane);
}

void UringCycleIo::readAhead(std::size_t lane, std::size_t len) {
  LaneState& L = m_lanes[lane];
  const auto here = L.io.source->peekPositioned(len);
  if (!here) return;
  // Reads already out must continue from here, block by block; otherwise
  // they belong to another run of blocks.
  for (std::size_t k = 0; k < L.ahead.size(); ++k) {
    const Read& a = L.rd[L.ahead[k]];
    if (a.fd != here->fd || a.want != len || a.offset != here->offset + k * len) {
      dropAhead(L);
      break;
    }
  }
  for (;;) {
    const std::size_t k = L.ahead.size();
    if (k >= static_cast<std::size_t>(kAhead)) return;
    const int slot = idleSlot(L, L.cur);
    if (slot < 0) return;
    // Each read is asked for once, as it is started: a drive that takes
    // time per command counts exactly the reads it is given.
    auto at = L.io.source->positionedRead(len);
    if (!at) return;
    Positioned p = *at;
    p.offset += k * len;
    startRead(lane, slot, p, len);
    L.rd[slot].role = Read::Role::Ahead;
    L.ahead.push_back(slot);
  }
}

void UringCycleIo::dropAhead(LaneState& L) {
  for (int slot : L.ahead) {
    Read& a = L.rd[slot];
    a.role = a.complete() ? Read::Role::Idle : Read::Role::Dropped;
  }
  L.ahead.clear();
}

int UringCycleIo::idleSlot(const LaneState& L, int busy) {
  for (int slot = 0; slot < kSlots; ++slot)
    if (slot != busy && L.rd[slot].role == Read::Role::Idle) return slot;
  return -1;
}

void UringCycleIo::writeReady() {
  // Blocks are handed on first, then the reads started early go out: a
  // read the page cache already holds is copied while it is submitted, and
  // the lane threads convert and write meanwhile.
  for (std::size_t lane : m_readLanes) {
    LaneState& L = m_lanes[lane];
    // Prepared and written on the lane's thread: a conversion or a copy
    // into the page cache of one job never holds up another job's, nor
    // this thread, which keeps every drive's next read going. A buffered
    // write only copies into the page cache; the disk's share of the work
    // is started in the background as the data accumulates.
    const std::shared_ptr<AlignedBuffer>& buf = L.buf[L.cur];
    L.onThread = L.writing = true;
    m_threads.startWrite(lane, *L.step, *m_prepare, {std::span<const std::byte>(buf->data(), L.step->read.bytes), buf});
  }
  m_readLanes.clear();
  if (io_uring_sq_ready(&m_ring) > 0) io_uring_submit(&m_ring);
}

void UringCycleIo::startWriteback(std::size_t lane, int fd, std::uint64_t end) {
  Writeback& w = m_lanes[lane].wb;
  if (w.fd != fd) {
    w.fd = fd;
    w.from = 0;
  }
  if (end < w.from + kWritebackChunk) return;
  // Starts writeback of what the lane wrote since the last time and does
  // not wait for it: the disk works while the copy goes on, and closing the
  // file has little left to flush. Advisory: the final sync reports errors.
  io_uring_sqe* s = sqe();
  io_uring_prep_sync_file_range(s, w.fd, static_cast<unsigned>(end - w.from), w.from, SYNC_FILE_RANGE_WRITE);
  io_uring_sqe_set_data64(s, tag(lane, 0, Kind::Writeback));
  w.from = end;
}

void UringCycleIo::finish(std::size_t lane) {
  m_lanes[lane].step->completed = true;
  m_lanes[lane].step = nullptr;
  --m_unfinished;
  ++m_reported;
}

bool UringCycleIo::waitSome(const __kernel_timespec* timeout) {
  for (;;) {
    if (timeout) {
      io_uring_cqe* first = nullptr;
      const int ret =
          io_uring_submit_and_wait_timeout(&m_ring, &first, 1, const_cast<__kernel_timespec*>(timeout), nullptr);
      if (ret == -ETIME) return false;
      if (ret >= 0) break;
      if (ret != -EINTR && ret != -EAGAIN && ret != -EBUSY)
        throw std::system_error(-ret, std::generic_category(), "io_uring_submit_and_wait_timeout");
      continue;
    }
    const int ret = io_uring_submit_and_wait(&m_ring, 1);
    if (ret >= 0) break;
    if (ret != -EINTR && ret != -EAGAIN && ret != -EBUSY)
      throw std::system_error(-ret, std::generic_category(), "io_uring_submit_and_wait");
  }
  io_uring_cqe* cqe = nullptr;
  while (io_uring_peek_cqe(&m_ring, &cqe) == 0 && cqe) {
    const io_uring_cqe copy = *cqe;
    io_uring_cqe_seen(&m_ring, cqe);
    handle(copy);
  }
  writeReady();
  return true;
}

void UringCycleIo::handle(const io_uring_cqe& cqe) {
  const std::uint64_t data = cqe.user_data;
  const std::size_t lane = static_cast<std::size_t>(data >> 8);
  const int slot = static_cast<int>((data >> 4) & 0xF);
  const auto kind = static_cast<Kind>(data & 0xF);
  const int res = cqe.res;
  if (kind == Kind::Wake) {
    m_wakeArmed = false;
    m_wakeup->drain();
    return;
  }
  --m_inFlight;
  if (kind == Kind::Writeback) return;
  LaneState& L = m_lanes[lane];

  Read& r = L.rd[slot];
  if (kind == Kind::Delay) {
    r.delaying = false;
  } else {
    r.reading = false;
    if (retryable(res)) return submitRead(lane, slot);
    if (res < 0) {
      r.error = -res;
    } else if (res > 0) {
      r.got += static_cast<std::size_t>(res);
      if (r.got < r.want) return submitRead(lane, slot);  // continue, as read() would
    }
  }
  if (!r.complete()) return;
  switch (r.role) {
    case Read::Role::Current:
      readDone(lane, r.got, r.error, true);
      break;
    case Read::Role::Dropped:
      r.role = Read::Role::Idle;
      break;
    case Read::Role::Ahead:
    case Read::Role::Idle:
      break;
  }
}

void UringCycleIo::quiesce() {
  while (m_inFlight > 0) waitSome();
  for (auto& L : m_lanes) {
    L.ahead.clear();
    for (auto& r : L.rd) r.role = Read::Role::Idle;
  }
}

bool supported(io_uring& ring) {
  io_uring_probe* probe = io_uring_get_probe_ring(&ring);
  if (!probe) return false;
  const bool ok = io_uring_opcode_supported(probe, IORING_OP_READ) &&
                  io_uring_opcode_supported(probe, IORING_OP_TIMEOUT) &&
                  io_uring_opcode_supported(probe, IORING_OP_SYNC_FILE_RANGE);
  io_uring_free_probe(probe);
  return ok;
}

int UringCycleIo::init() {
  if (m_wakeup->fd < 0) return m_wakeup->error;
  // Per lane: each buffer's read and latency timeout, and a writeback.
  unsigned entries = 8;
  while (entries < (2 * kSlots + 1) * m_lanes.size() + 8) entries *= 2;
  // Only this thread submits; completions are handled when it asks for them.
  int ret = io_uring_queue_init(entries, &m_ring, IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN);
  if (ret == -EINVAL) ret = io_uring_queue_init(entries, &m_ring, 0);  // older kernels
  if (ret < 0) return -ret;
  if (!supported(m_ring)) {
    io_uring_queue_exit(&m_ring);
    return ENOSYS;
  }
  m_ready = true;
  return 0;
}

}  // namespace

std::unique_ptr<CycleIo> makeUringCycleIo(std::vector<CycleIo::Lane> lanes, int* error) {
  auto io = std::make_unique<UringCycleIo>(lanes);
  if (const int e = io->init()) {
    if (error) *error = e;
    return nullptr;
  }
  return io;
}

}  // namespace mdi
