#include "platform/CycleIo.h"

#include "platform/LaneThreads.h"

namespace mdi {

SyncCycleIo::SyncCycleIo(std::vector<Lane> lanes) : m_threads(std::make_unique<LaneThreads>(std::move(lanes))) {}

SyncCycleIo::~SyncCycleIo() = default;

void CycleIo::cycle(std::span<Step> steps, const Prepare& prepare) {
  for (Step& st : steps) {
    st.go = st.readLength > 0;
    st.completed = false;
  }
  start(steps, prepare);
  auto allDone = [&] {
    for (const Step& st : steps)
      if (st.readLength > 0 && !st.completed && !st.pending) return false;
    return true;
  };
  while (!allDone()) wait(std::chrono::hours(1));
}

void SyncCycleIo::start(std::span<Step> steps, const Prepare& prepare) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    Step& st = steps[i];
    if (!st.takeGo()) continue;
    if (m_steps.size() < steps.size()) m_steps.resize(steps.size());
    m_steps[i] = &st;
    m_threads->start(i, st, prepare);
  }
}

bool SyncCycleIo::wait(std::chrono::milliseconds timeout) {
  if (!m_threads->waitFinished(std::chrono::steady_clock::now() + timeout)) return false;
  for (std::size_t lane : m_threads->takeFinished()) m_steps[lane]->completed = true;
  return true;
}

void SyncCycleIo::abandon(std::span<Held> held) {
  m_threads->abandon(held);
  // Steps that finished before the abandon keep their outcomes.
  for (std::size_t lane : m_threads->takeFinished()) m_steps[lane]->completed = true;
}

}  // namespace mdi
