#include "platform/linux/UringCycleIo.h"

#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/linux/UringCycleIoImpl.h"

namespace mdi {
namespace uring {
namespace {

bool supported(io_uring& ring) {
  io_uring_probe* probe = io_uring_get_probe_ring(&ring);
  if (!probe) return false;
  const bool ok = io_uring_opcode_supported(probe, IORING_OP_READ) &&
                  io_uring_opcode_supported(probe, IORING_OP_TIMEOUT) &&
                  io_uring_opcode_supported(probe, IORING_OP_SYNC_FILE_RANGE);
  io_uring_free_probe(probe);
  return ok;
}

}  // namespace

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
    const auto at = st.plainRead ? std::nullopt : L.io.source->positionedRead(st.readLength);
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
    ++m_onThread;
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
    --m_onThread;
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
  m_onThread = 0;
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
    ++m_onThread;
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
  io_uring_sqe_set_flags(s, IOSQE_ASYNC);  // a full device queue waits in a worker, not here
  w.from = end;
}

void UringCycleIo::finish(std::size_t lane) {
  m_lanes[lane].step->completed = true;
  m_lanes[lane].step = nullptr;
  --m_unfinished;
  ++m_reported;
}

void UringCycleIo::quiesce() {
  while (m_inFlight > 0) waitSome();
  for (auto& L : m_lanes) {
    L.ahead.clear();
    for (auto& r : L.rd) r.role = Read::Role::Idle;
  }
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

}  // namespace uring

std::unique_ptr<CycleIo> makeUringCycleIo(std::vector<CycleIo::Lane> lanes, int* error) {
  auto io = std::make_unique<uring::UringCycleIo>(lanes);
  if (const int e = io->init()) {
    if (error) *error = e;
    return nullptr;
  }
  return io;
}

}  // namespace mdi
