#include "platform/LaneCycleIo.h"

#include "platform/LaneThreads.h"

namespace mdi {

LaneCycleIo::LaneCycleIo(std::vector<Lane> lanes, std::vector<std::unique_ptr<LaneReader>> readers, const char* name)
    : m_threads(std::make_unique<LaneThreads>(std::move(lanes), std::move(readers))), m_name(name) {}

LaneCycleIo::~LaneCycleIo() = default;

void LaneCycleIo::start(std::span<Step> steps, const Prepare& prepare) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    Step& st = steps[i];
    if (!st.takeGo()) continue;
    if (m_steps.size() < steps.size()) m_steps.resize(steps.size());
    m_steps[i] = &st;
    m_threads->start(i, st, prepare);
  }
}

bool LaneCycleIo::wait(std::chrono::milliseconds timeout) {
  if (!m_threads->waitFinished(std::chrono::steady_clock::now() + timeout)) return false;
  for (std::size_t lane : m_threads->takeFinished()) m_steps[lane]->completed = true;
  return true;
}

void LaneCycleIo::abandon(std::span<Held> held) {
  m_threads->abandon(held);
  // Steps that finished before the abandon keep their outcomes.
  for (std::size_t lane : m_threads->takeFinished()) m_steps[lane]->completed = true;
}

}  // namespace mdi
