#include "platform/linux/UringLane.h"

#include <poll.h>

#include <cerrno>
#include <system_error>

namespace mdi::uring {
namespace {

// Per lane: the read and its latency timeout, a writeback or two, the
// abandon poll and a cancel.
constexpr unsigned kEntries = 8;

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

// Requests carry their kind in user_data.
enum class Tag : std::uint64_t { Read = 1, Delay = 2, Writeback = 3, Abandon = 4, Cancel = 5 };
std::uint64_t tag(Tag kind) { return static_cast<std::uint64_t>(kind); }

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

}  // namespace

int probeRing() {
  io_uring ring{};
  const int error = setUpRing(ring, kEntries);
  if (error == 0) io_uring_queue_exit(&ring);
  return error;
}

UringLane::~UringLane() {
  if (m_state != Ring::Ready) return;
  // A read given up with the run, or a writeback, is cancelled where the
  // kernel can; the buffer a read fills lives until it has returned.
  bool cancelled = false;
  while (m_inFlight > 0) {
    if (m_abandoned && !cancelled) {
      io_uring_sqe* s = sqe(false);
      io_uring_prep_cancel64(s, 0, IORING_ASYNC_CANCEL_ANY);
      io_uring_sqe_set_data64(s, tag(Tag::Cancel));
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
  io_uring_sqe_set_data64(s, tag(Tag::Abandon));
  return true;
}

LaneReader::Got UringLane::readPlainly(std::size_t length) {
  std::shared_ptr<AlignedBuffer> b = m_buffers->take(length);
  const IoResult rd = m_io.source->read(std::span(b->data(), length));
  return {rd, std::span<const std::byte>(b->data(), rd.bytes), std::move(b)};
}

LaneReader::Got UringLane::read(const CycleIo::Step& step, std::size_t len) {
  // A re-read after a failed read goes through read(): io_uring's buffered
  // read of a block device fails a page a failed read left behind, where
  // read() reads it again.
  if (step.plainRead || !ready()) return readPlainly(len);
  const auto at = m_io.source->positionedRead(len);
  if (!at) return readPlainly(len);
  m_buf = m_buffers->take(len);
  m_fd = at->fd;
  m_offset = at->offset;
  m_want = len;
  m_got = 0;
  m_error = 0;
  submitRead();
  if (at->latencyNs > 0) {
    // A simulated drive's time per read: a timeout beside the read, so
    // nothing sleeps.
    m_latency.tv_sec = static_cast<long long>(at->latencyNs / 1000000000u);
    m_latency.tv_nsec = static_cast<long long>(at->latencyNs % 1000000000u);
    io_uring_sqe* s = sqe();
    io_uring_prep_timeout(s, &m_latency, 0, 0);
    io_uring_sqe_set_data64(s, tag(Tag::Delay));
    m_delaying = true;
  }
  while (m_reading || m_delaying)
    if (!waitSome()) return {};  // given up: the caller drops this step
  m_io.source->advance(m_got);
  return {{m_got, m_error}, std::span<const std::byte>(m_buf->data(), m_got), std::move(m_buf)};
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
  io_uring_sqe_set_data64(s, tag(Tag::Writeback));
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

void UringLane::submitRead() {
  io_uring_sqe* s = sqe();
  io_uring_prep_read(s, m_fd, m_buf->data() + m_got, static_cast<unsigned>(m_want - m_got), m_offset + m_got);
  io_uring_sqe_set_data64(s, tag(Tag::Read));
  m_reading = true;
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
  const int res = cqe.res;
  switch (static_cast<Tag>(cqe.user_data)) {
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
      m_delaying = false;
      return;
    case Tag::Read:
      --m_inFlight;
      m_reading = false;
      // Once the run is given up, a read is not asked for again.
      if (m_abandoned) return;
      if (retryable(res)) return submitRead();
      if (res < 0) {
        m_error = -res;
      } else if (res > 0) {
        m_got += static_cast<std::size_t>(res);
        if (m_got < m_want) return submitRead();  // continue, as read() would
      }
      return;
  }
}

}  // namespace mdi::uring
