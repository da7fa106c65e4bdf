#include "platform/CycleIo.h"

#include "platform/LaneThreads.h"

namespace mdi {

SyncCycleIo::SyncCycleIo(std::vector<Lane> lanes) : m_threads(std::make_unique<LaneThreads>(std::move(lanes))) {}

SyncCycleIo::~SyncCycleIo() = default;

void SyncCycleIo::start(std::span<Step> steps, const Prepare& prepare) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    Step& st = steps[i];
    st.read = {};
    st.write = {};
    st.pending = false;
    if (st.readLength > 0) m_threads->start(i, st, prepare);
  }
}

bool SyncCycleIo::wait(std::chrono::milliseconds timeout) {
  return m_threads->waitIdle(std::chrono::steady_clock::now() + timeout);
}

void SyncCycleIo::abandon(std::span<Held> held) { m_threads->abandon(held); }

}  // namespace mdi
