#include "platform/linux/UringCycleIo.h"

#include "platform/LaneCycleIo.h"

#include "platform/linux/UringLane.h"

namespace mdi {

std::unique_ptr<CycleIo> makeUringCycleIo(std::vector<CycleIo::Lane> lanes, int* error) {
  // Each lane sets its ring up on its own thread; a ring set up here, as
  // they will, tells whether the kernel offers what they need.
  if (const int e = uring::probeRing()) {
    if (error) *error = e;
    return nullptr;
  }
  std::vector<std::unique_ptr<LaneReader>> readers;
  readers.reserve(lanes.size());
  for (const auto& lane : lanes) readers.push_back(std::make_unique<uring::UringLane>(lane));
  return std::make_unique<LaneCycleIo>(std::move(lanes), std::move(readers), "io_uring");
}

}  // namespace mdi
