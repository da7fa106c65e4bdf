// The io_uring path's reads: each lane's read of its step, the reads
// started early behind it, and the ring's completions.
#include <poll.h>

#include <system_error>

#include "platform/linux/UringCycleIoImpl.h"

namespace mdi::uring {

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
  L.buf[slot] = m_buffers->take(len);
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

}  // namespace mdi::uring
