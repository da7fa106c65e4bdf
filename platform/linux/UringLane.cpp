#include "platform/linux/UringLane.h"

#include <poll.h>

#include <cerrno>
#include <system_error>

namespace mdi::uring {
namespace {

// Per lane: each buffer's read and latency timeout, a writeback or two,
// the abandon poll and a cancel.
constexpr unsigned kEntries = 16;

bool supported(io_uring& ring) {
  io_uring_probe* probe = io_uring_get_probe_ring(&ring);
  if (!probe) return false;
  bool ok = true;
  for (const int op :
       {IORING_OP_READ, IORING_OP_TIMEOUT, IORING_OP_SYNC_FILE_RANGE, IORING_OP_POLL_ADD, IORING_OP_ASYNC_CANCEL})
    ok = ok && io_uring_opcode_supported(probe, op);
  io_uring_free_probe(probe);
  return ok;
}

bool retryable(int res) { return res == -EINTR || res == -EAGAIN; }

// Requests carry their buffer slot and kind in user_data.
enum class Tag : std::uint64_t { Read = 1, Delay = 2, Writeback = 3, Abandon = 4, Cancel = 5 };
std::uint64_t tag(int slot, Tag kind) {
  return (static_cast<std::uint64_t>(slot) << 4) | static_cast<std::uint64_t>(kind);
}

}  // namespace

int setUpRing(io_uring& ring, unsigned entries) {
  // Only the lane's thread submits, and the work of its completions (the
  // copy out of the page cache, and going on with a read whose pages were
  // still coming) runs on that thread, between its system calls: a cold
  // read keeps going while the block before it is written, and is never
  // cause to interrupt the thread.
  int ret = io_uring_queue_init(entries, &ring, IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN);
  if (ret == -EINVAL) ret = io_uring_queue_init(entries, &ring, 0);  // kernels before 6.0
  if (ret < 0) return -ret;
  if (!supported(ring)) {
    io_uring_queue_exit(&ring);
    return ENOSYS;
  }
  return 0;
}

UringLane::~UringLane() {
  if (m_state != Ring::Ready) return;
  // Reads still out (started early, or given up with the run) are
  // cancelled where the kernel can once the run is given up; the buffers
  // they fill live until every one has returned.
  bool cancelled = false;
  while (m_inFlight > 0) {
    if (m_abandoned && !cancelled) {
      io_uring_sqe* s = sqe(false);
      io_uring_prep_cancel64(s, 0, IORING_ASYNC_CANCEL_ANY);
      io_uring_sqe_set_data64(s, tag(0, Tag::Cancel));
      cancelled = true;
    }
    waitSome();
  }
  io_uring_queue_exit(&m_ring);
}

bool UringLane::ready() {
  if (m_state != Ring::Unset) return m_state == Ring::Ready;
  m_state = Ring::Unusable;
  if (m_abandon.fd < 0 || setUpRing(m_ring, kEntries) != 0) return false;
  m_state = Ring::Ready;
  // Stays out until the run is given up: then it ends any wait.
  io_uring_sqe* s = sqe(false);
  io_uring_prep_poll_add(s, m_abandon.fd, POLLIN);
  io_uring_sqe_set_data64(s, tag(0, Tag::Abandon));
  return true;
}

LaneReader::Got UringLane::readPlainly(std::size_t length) {
  std::shared_ptr<AlignedBuffer> b = m_buffers->take(length);
  const IoResult rd = m_io.source->read(std::span(b->data(), length));
  return {rd, std::span<const std::byte>(b->data(), rd.bytes), std::move(b)};
}

LaneReader::Got UringLane::read(const CycleIo::Step& step) {
  const std::size_t len = step.readLength;
  // A re-read after a failed read goes through read(): io_uring's buffered
  // read of a block device fails a page a failed read left behind, where
  // read() reads it again.
  if (step.plainRead || !ready()) {
    dropAhead();
    return readPlainly(len);
  }
  bool started = false;
  if (!m_ahead.empty()) {
    const int front = m_ahead.front();
    Slot& a = m_slot[front];
    const auto here = m_io.source->peekPositioned(len);
    if (here && a.want == len && a.fd == here->fd && a.offset == here->offset) {
      // The first read started early is this step's read.
      m_ahead.erase(m_ahead.begin());
      m_cur = front;
      a.role = Slot::Role::Current;
      started = true;
    } else {
      dropAhead();  // started for another run of blocks
    }
  }
  if (!started) {
    const auto at = m_io.source->positionedRead(len);
    if (!at) return readPlainly(len);
    // The last step's slot is idle again, so there is always one.
    m_cur = idleSlot(-1);
    startRead(m_cur, *at, len);
  }
  Slot& r = m_slot[m_cur];
  while (!r.complete())
    if (!waitSome()) return {};  // given up: the caller drops this step
  r.role = Slot::Role::Idle;
  m_io.source->advance(r.got);
  Got got{{r.got, r.error}, std::span<const std::byte>(m_buf[m_cur]->data(), r.got), m_buf[m_cur]};
  // The next reads go out before this block is prepared and written, so
  // the drive is busy while this thread works.
  if (step.readAhead && r.error == 0 && r.got == len) readAhead(len);
  if (io_uring_sq_ready(&m_ring) > 0) io_uring_submit(&m_ring);
  return got;
}

void UringLane::written() {
  if (m_state != Ring::Ready) return;
  const auto at = m_io.output->positionedWrite(0);
  if (!at) return;
  if (m_writebackFd != at->fd) {
    m_writebackFd = at->fd;
    m_writebackFrom = 0;
  }
  const std::uint64_t end = at->offset;
  if (end < m_writebackFrom + kWritebackChunk) return;
  // Starts writeback of what the lane wrote since the last time and does
  // not wait for it: the disk works while the copy goes on, and closing the
  // file has little left to flush. Advisory: the final sync reports errors.
  // It goes out with the next read.
  io_uring_sqe* s = sqe();
  io_uring_prep_sync_file_range(s, m_writebackFd, static_cast<unsigned>(end - m_writebackFrom), m_writebackFrom,
                                SYNC_FILE_RANGE_WRITE);
  io_uring_sqe_set_data64(s, tag(0, Tag::Writeback));
  io_uring_sqe_set_flags(s, IOSQE_ASYNC);  // a full device queue waits in a worker, not here
  m_writebackFrom = end;
}

io_uring_sqe* UringLane::sqe(bool counted) {
  io_uring_sqe* s = io_uring_get_sqe(&m_ring);
  if (!s) {
    // The ring holds more requests than the lane ever has outstanding, so
    // a full queue only needs handing over.
    io_uring_submit(&m_ring);
    s = io_uring_get_sqe(&m_ring);
    if (!s) throw std::system_error(EBUSY, std::generic_category(), "io_uring submission queue full");
  }
  if (counted) ++m_inFlight;
  return s;
}

void UringLane::submitRead(int slot) {
  Slot& r = m_slot[slot];
  io_uring_sqe* s = sqe();
  io_uring_prep_read(s, r.fd, m_buf[slot]->data() + r.got, static_cast<unsigned>(r.want - r.got), r.offset + r.got);
  io_uring_sqe_set_data64(s, tag(slot, Tag::Read));
  r.reading = true;
}

void UringLane::startRead(int slot, const Positioned& at, std::size_t len) {
  m_buf[slot] = m_buffers->take(len);
  Slot& r = m_slot[slot];
  r = Slot{};
  r.role = Slot::Role::Current;
  r.fd = at.fd;
  r.offset = at.offset;
  r.want = len;
  submitRead(slot);
  if (at.latencyNs > 0) {
    // A simulated drive's time per read: a timeout beside the read, so
    // nothing sleeps.
    r.latency.tv_sec = static_cast<long long>(at.latencyNs / 1000000000u);
    r.latency.tv_nsec = static_cast<long long>(at.latencyNs % 1000000000u);
    io_uring_sqe* s = sqe();
    io_uring_prep_timeout(s, &r.latency, 0, 0);
    io_uring_sqe_set_data64(s, tag(slot, Tag::Delay));
    r.delaying = true;
  }
}

void UringLane::readAhead(std::size_t len) {
  const auto here = m_io.source->peekPositioned(len);
  if (!here) return;
  // Reads already out must continue from here, block by block; otherwise
  // they belong to another run of blocks.
  for (std::size_t k = 0; k < m_ahead.size(); ++k) {
    const Slot& a = m_slot[m_ahead[k]];
    if (a.fd != here->fd || a.want != len || a.offset != here->offset + k * len) {
      dropAhead();
      break;
    }
  }
  for (;;) {
    const std::size_t k = m_ahead.size();
    if (k >= static_cast<std::size_t>(kAhead)) return;
    const int slot = idleSlot(m_cur);
    if (slot < 0) return;
    // Each read is asked for once, as it is started: a drive that takes
    // time per command counts exactly the reads it is given.
    auto at = m_io.source->positionedRead(len);
    if (!at) return;
    Positioned p = *at;
    p.offset += k * len;
    startRead(slot, p, len);
    m_slot[slot].role = Slot::Role::Ahead;
    m_ahead.push_back(slot);
  }
}

void UringLane::dropAhead() {
  for (int slot : m_ahead) {
    Slot& a = m_slot[slot];
    a.role = a.complete() ? Slot::Role::Idle : Slot::Role::Dropped;
  }
  m_ahead.clear();
}

int UringLane::idleSlot(int busy) const {
  for (int slot = 0; slot < kSlots; ++slot)
    if (slot != busy && m_slot[slot].role == Slot::Role::Idle) return slot;
  return -1;
}

bool UringLane::waitSome() {
  for (;;) {
    const int ret = io_uring_submit_and_wait(&m_ring, 1);
    // EBUSY: completions to reap first.
    if (ret >= 0 || ret == -EBUSY) break;
    if (ret != -EINTR && ret != -EAGAIN)
      throw std::system_error(-ret, std::generic_category(), "io_uring_submit_and_wait");
  }
  unsigned head = 0;
  unsigned seen = 0;
  io_uring_cqe* cqe = nullptr;
  io_uring_for_each_cqe(&m_ring, head, cqe) {
    handle(*cqe);
    ++seen;
  }
  io_uring_cq_advance(&m_ring, seen);
  return !m_abandoned;
}

void UringLane::handle(const io_uring_cqe& cqe) {
  const int slot = static_cast<int>((cqe.user_data >> 4) & 0xF);
  const auto kind = static_cast<Tag>(cqe.user_data & 0xF);
  const int res = cqe.res;
  switch (kind) {
    case Tag::Abandon:
      m_abandoned = true;
      return;
    case Tag::Cancel:
      return;
    case Tag::Writeback:
      --m_inFlight;
      return;
    case Tag::Delay:
      --m_inFlight;
      m_slot[slot].delaying = false;
      break;
    case Tag::Read: {
      --m_inFlight;
      Slot& r = m_slot[slot];
      r.reading = false;
      // Once the run is given up, a read is not asked for again.
      if (retryable(res) && !m_abandoned) return submitRead(slot);
      if (res < 0) {
        r.error = -res;
      } else if (res > 0) {
        r.got += static_cast<std::size_t>(res);
        if (r.got < r.want && !m_abandoned) return submitRead(slot);  // continue, as read() would
      }
      break;
    }
  }
  Slot& r = m_slot[slot];
  if (r.complete() && r.role == Slot::Role::Dropped) r.role = Slot::Role::Idle;
}

}  // namespace mdi::uring
