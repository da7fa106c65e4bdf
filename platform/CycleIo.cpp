#include "platform/CycleIo.h"

namespace mdi {

SyncCycleIo::SyncCycleIo(std::vector<Lane> lanes) : m_lanes(std::move(lanes)) {}

void SyncCycleIo::cycle(std::span<Step> steps, const Prepare& prepare) {
  for (std::size_t i = 0; i < steps.size() && i < m_lanes.size(); ++i) {
    Step& st = steps[i];
    if (st.readLength == 0) continue;
    if (m_buffer.size() < st.readLength) m_buffer.resize(st.readLength);
    st.read = m_lanes[i].source->read(std::span(m_buffer.data(), st.readLength));
    if (st.read.bytes == 0) continue;
    st.write = m_lanes[i].output->write(prepare(i, std::span<const std::byte>(m_buffer.data(), st.read.bytes)));
  }
}

}  // namespace mdi
