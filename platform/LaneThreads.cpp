#include "platform/LaneThreads.h"

#include <condition_variable>
#include <mutex>

namespace mdi {

struct LaneThreads::Shared {
  struct Lane {
    CycleIo::Lane io;
    std::unique_ptr<Source> keptSource;  // taken at abandon, while reading
    std::unique_ptr<Output> keptOutput;  // taken at abandon, while writing
    std::uint64_t cutTo = 0;             // the kept output's length to leave
    std::vector<std::byte> buffer;       // what the read brings
    std::vector<std::byte> copy;         // what is written, when prepare gave other memory
    CycleIo::Step* step = nullptr;       // the request; null once taken by the thread
    const CycleIo::Prepare* prepare = nullptr;
    LaneThreads::Given given;               // the request's bytes, when read already
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
  std::function<void()> onFinished;
  bool ending = false;     // idle lane threads end
  bool abandoned = false;  // busy lanes finish alone
  void wakeAll() {
    for (std::size_t i = 0; i < lanes.size(); ++i) work[i].notify_one();
  }
};

LaneThreads::LaneThreads(std::vector<CycleIo::Lane> lanes, std::function<void()> onFinished)
    : m_shared(std::make_shared<Shared>()) {
  m_shared->onFinished = std::move(onFinished);
  m_shared->lanes.resize(lanes.size());
  m_shared->work = std::make_unique<std::condition_variable[]>(lanes.size());
  for (std::size_t i = 0; i < lanes.size(); ++i) m_shared->lanes[i].io = lanes[i];
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
  request(lane, step, prepare, {});
}

void LaneThreads::startWrite(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare, Given given) {
  request(lane, step, prepare, std::move(given));
}

void LaneThreads::request(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare, Given given) {
  // A lane's thread starts with its first transfer: lanes that never use
  // their thread (io_uring lanes) cost none.
  if (m_threads.size() < m_shared->lanes.size()) m_threads.resize(m_shared->lanes.size());
  if (!m_threads[lane].joinable()) m_threads[lane] = std::thread(laneMain, m_shared, lane);
  {
    std::lock_guard lk(m_shared->m);
    auto& L = m_shared->lanes[lane];
    L.step = &step;
    L.prepare = &prepare;
    L.given = std::move(given);
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
  m_shared->done.wait(lk, [&] {
    for (const auto& L : m_shared->lanes)
      if (L.preparing) return false;
    return true;
  });
  m_shared->abandoned = true;
  for (std::size_t i = 0; i < m_shared->lanes.size(); ++i) {
    auto& L = m_shared->lanes[i];
    if (!L.busy) continue;
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
  for (;;) {
    s.work[lane].wait(lk, [&] { return s.ending || s.abandoned || s.lanes[lane].step; });
    if (s.ending || s.abandoned) return;
    auto& L = s.lanes[lane];
    CycleIo::Step& step = *L.step;
    const CycleIo::Prepare& prepare = *L.prepare;
    Source* const source = L.io.source;
    Output* const output = L.io.output;
    const std::size_t length = step.readLength;
    std::span<const std::byte> in = L.given.data;
    auto finished = [&] {
      L.step = nullptr;
      L.busy = false;
      L.finished = true;
      s.done.notify_all();
      if (s.onFinished) s.onFinished();
    };
    if (in.empty()) {
      lk.unlock();
      if (L.buffer.size() < length) L.buffer.resize(length);
      const IoResult rd = source->read(std::span(L.buffer.data(), length));
      lk.lock();
      if (s.abandoned) break;
      step.read = rd;
      if (rd.bytes == 0) {
        finished();
        continue;
      }
      in = std::span<const std::byte>(L.buffer.data(), rd.bytes);
    }
    // Bytes read on this thread go back into its buffer next step; bytes
    // given with their owner may be held past it.
    step.readOwner = L.given.keep;
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
    s.done.notify_all();
    lk.unlock();

    const IoResult wr = output->write(data);

    lk.lock();
    L.writing = false;
    if (s.abandoned) break;
    step.write = wr;
    L.given = {};
    L.keptImage.reset();
    finished();
  }
  // Abandoned while this lane's call was out: nothing more is done with its
  // bytes. An output taken over is left as long as the image the caller
  // counted, synced and closed.
  auto& L = s.lanes[lane];
  std::unique_ptr<Output> out = std::move(L.keptOutput);
  std::unique_ptr<Source> src = std::move(L.keptSource);
  const std::shared_ptr<const void> keep = std::move(L.given.keep);
  const std::shared_ptr<const void> image = std::move(L.keptImage);
  const std::uint64_t cutTo = L.cutTo;
  L.busy = false;
  lk.unlock();
  if (out) {
    out->resize(cutTo);
    out->close();
  }
}

}  // namespace mdi
