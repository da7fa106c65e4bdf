#include "platform/LaneThreads.h"

#include <condition_variable>
#include <mutex>

namespace mdi {

struct LaneThreads::Shared {
  struct Lane {
    CycleIo::Lane io;
    std::unique_ptr<LaneReader> reader;  // null: read() into `buffer`
    std::unique_ptr<Source> keptSource;  // taken at abandon, while reading
    std::unique_ptr<Output> keptOutput;  // taken at abandon, while writing
    std::uint64_t cutTo = 0;             // the kept output's length to leave
    std::vector<std::byte> buffer;       // what the read brings
    std::vector<std::byte> copy;         // what is written, when prepare gave other memory
    CycleIo::Step* step = nullptr;       // the request; null once taken by the thread
    const CycleIo::Prepare* prepare = nullptr;
    std::shared_ptr<const void> owner;      // owns what the reader brought, while it is prepared and written
    std::shared_ptr<const void> keptImage;  // owns what prepare gave, while it is written
    bool busy = false;                      // a request is given or in progress
    bool preparing = false;                 // prepare is running on the lane's thread
    bool writing = false;                   // the lane's write is in progress
    bool finished = false;                  // a step ended, not yet taken
  };
  std::mutex m;
  // Each lane thread's: a request, or the end. One per lane, so a request
  // wakes only the thread it is for.
  std::unique_ptr<std::condition_variable[]> work;
  std::condition_variable done;  // the caller: a lane done, a prepare ended
  std::vector<Lane> lanes;
  bool ending = false;           // idle lane threads end
  bool abandoned = false;        // busy lanes finish alone
  bool awaitingPrepare = false;  // abandon() waits for prepare calls to end
  void wakeAll() {
    for (std::size_t i = 0; i < lanes.size(); ++i) work[i].notify_one();
  }
};

LaneThreads::LaneThreads(std::vector<CycleIo::Lane> lanes, std::vector<std::unique_ptr<LaneReader>> readers)
    : m_shared(std::make_shared<Shared>()) {
  m_shared->lanes.resize(lanes.size());
  m_shared->work = std::make_unique<std::condition_variable[]>(lanes.size());
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    m_shared->lanes[i].io = lanes[i];
    if (i < readers.size()) m_shared->lanes[i].reader = std::move(readers[i]);
  }
}

LaneThreads::~LaneThreads() {
  {
    std::lock_guard lk(m_shared->m);
    m_shared->ending = true;
  }
  m_shared->wakeAll();
  for (auto& t : m_threads)
    if (t.joinable()) t.join();
}

void LaneThreads::start(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare) {
  // A lane's thread starts with its first transfer.
  if (m_threads.size() < m_shared->lanes.size()) m_threads.resize(m_shared->lanes.size());
  if (!m_threads[lane].joinable()) m_threads[lane] = std::thread(laneMain, m_shared, lane);
  {
    std::lock_guard lk(m_shared->m);
    auto& L = m_shared->lanes[lane];
    L.step = &step;
    L.prepare = &prepare;
    L.busy = true;
    L.finished = false;
  }
  m_shared->work[lane].notify_one();
}

bool LaneThreads::waitFinished(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lk(m_shared->m);
  return m_shared->done.wait_until(lk, deadline, [&] {
    bool busy = false;
    for (const auto& L : m_shared->lanes) {
      if (L.finished) return true;
      busy = busy || L.busy;
    }
    return !busy;
  });
}

std::vector<std::size_t> LaneThreads::takeFinished() {
  std::vector<std::size_t> done;
  std::lock_guard lk(m_shared->m);
  for (std::size_t i = 0; i < m_shared->lanes.size(); ++i) {
    auto& L = m_shared->lanes[i];
    if (!L.finished) continue;
    L.finished = false;
    done.push_back(i);
  }
  return done;
}

void LaneThreads::abandon(std::span<CycleIo::Held> held) {
  std::unique_lock lk(m_shared->m);
  if (m_shared->abandoned) return;  // what was taken stays taken
  // prepare touches the caller's memory: let every call in progress end.
  m_shared->awaitingPrepare = true;
  m_shared->done.wait(lk, [&] {
    for (const auto& L : m_shared->lanes)
      if (L.preparing) return false;
    return true;
  });
  m_shared->awaitingPrepare = false;
  m_shared->abandoned = true;
  for (std::size_t i = 0; i < m_shared->lanes.size(); ++i) {
    auto& L = m_shared->lanes[i];
    if (L.reader) L.reader->wakeForAbandon();
    // An idle lane's reader is its thread's no more: asking it is safe.
    const bool requestsOut = !L.busy && L.reader && L.reader->outstanding();
    if (!L.busy && !requestsOut) continue;
    if (L.step) L.step->pending = true;  // not yet taken by the thread
    L.step = nullptr;
    L.prepare = nullptr;
    if (i < held.size()) {
      L.keptSource = std::move(held[i].source);
      if (L.writing) {
        L.keptOutput = std::move(held[i].output);
        L.cutTo = held[i].imageLength;
      }
    }
    if (i < m_threads.size() && m_threads[i].joinable()) m_threads[i].detach();
  }
  lk.unlock();
  m_shared->wakeAll();
}

void LaneThreads::laneMain(std::shared_ptr<Shared> shared, std::size_t lane) {
  Shared& s = *shared;
  std::unique_lock lk(s.m);
  auto& L = s.lanes[lane];
  for (;;) {
    s.work[lane].wait(lk, [&] { return s.ending || s.abandoned || L.step; });
    if (s.ending || s.abandoned) break;
    CycleIo::Step& step = *L.step;
    const CycleIo::Prepare& prepare = *L.prepare;
    Output* const output = L.io.output;
    // The caller is woken once the mutex is free, so it does not wake only
    // to wait for it.
    auto finished = [&] {
      L.step = nullptr;
      L.busy = false;
      L.finished = true;
      lk.unlock();
      s.done.notify_all();
      lk.lock();
    };
    // One piece of the step: read, prepare, write; then whether the step
    // goes on with another piece.
    enum class Then { GivenUp, StepEnds, GoOn };
    auto piece = [&](std::size_t length) {
      lk.unlock();
      LaneReader::Got got;
      if (L.reader) {
        got = L.reader->read(step, length);
      } else {
        if (L.buffer.size() < length) L.buffer.resize(length);
        got.result = L.io.source->read(std::span(L.buffer.data(), length));
        got.data = std::span<const std::byte>(L.buffer.data(), got.result.bytes);
      }
      lk.lock();
      if (s.abandoned) return Then::GivenUp;
      step.read.bytes += got.result.bytes;
      step.read.error = got.result.error;
      if (got.result.bytes == 0) return Then::StepEnds;
      // Bytes read into this thread's buffer are read into again next piece;
      // bytes with an owner may be held past it (a hash behind the copy).
      step.readOwner = got.owner;
      L.owner = std::move(got.owner);
      const std::span<const std::byte> in = got.data;
      L.preparing = true;
      lk.unlock();
      std::span<const std::byte> data = prepare(lane, in);
      // What prepare gave may be the caller's memory, which an abandoned run
      // frees: the write goes out of memory the lane holds.
      const bool own = data.data() >= in.data() && data.data() + data.size() <= in.data() + in.size();
      if (!own && step.keep) {
        L.keptImage = step.keep;
      } else if (!own) {
        L.copy.assign(data.begin(), data.end());
        data = L.copy;
      }
      lk.lock();
      L.preparing = false;
      L.writing = true;
      // Only abandon() waits for a prepare to end; the caller waiting for a
      // step is not woken for nothing.
      if (s.awaitingPrepare) s.done.notify_all();
      lk.unlock();

      const IoResult wr = output->write(data);
      const bool whole = !wr.failed() && wr.bytes == data.size();
      if (L.reader && whole) L.reader->written();

      lk.lock();
      L.writing = false;
      if (s.abandoned) return Then::GivenUp;
      step.write.bytes += wr.bytes;
      step.write.error = wr.error;
      L.owner.reset();
      L.keptImage.reset();
      const bool full = whole && got.result.bytes == length && !got.result.failed();
      return full && !step.endsHere ? Then::GoOn : Then::StepEnds;
    };
    const std::size_t pieceLength = step.pieceLength > 0 ? step.pieceLength : step.readLength;
    Then then = Then::GoOn;
    std::size_t at = 0;
    do {
      const std::size_t length = std::min(pieceLength, step.readLength - at);
      then = piece(length);
      at += length;
    } while (then == Then::GoOn && at < step.readLength);
    if (then == Then::GivenUp) break;
    finished();
  }
  // Ending, or abandoned: nothing more is done with the lane's bytes. An
  // output taken over is left as long as the image the caller counted,
  // synced and closed; the reader waits out its reads before the source
  // they read goes.
  std::unique_ptr<Output> out = std::move(L.keptOutput);
  std::unique_ptr<Source> src = std::move(L.keptSource);
  std::unique_ptr<LaneReader> reader = std::move(L.reader);
  const std::shared_ptr<const void> owner = std::move(L.owner);
  const std::shared_ptr<const void> image = std::move(L.keptImage);
  const std::uint64_t cutTo = L.cutTo;
  L.busy = false;
  lk.unlock();
  if (out) {
    out->resize(cutTo);
    out->close();
  }
  reader.reset();
}

}  // namespace mdi
