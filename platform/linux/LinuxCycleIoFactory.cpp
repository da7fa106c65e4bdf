// The I/O path a run's copy loops take: io_uring where the kernel offers
// it, unless the operator asks for the plain path.
#include <cstdlib>
#include <cstring>

#include "platform/LaneCycleIo.h"
#include "platform/linux/UringCycleIo.h"

namespace mdi {

IoPath ioPathFromEnvironment() {
  const char* v = std::getenv("MDIMAGER_IO");
  return v && std::strcmp(v, "sync") == 0 ? IoPath::Sync : IoPath::Auto;
}

std::unique_ptr<CycleIo> LinuxCycleIoFactory::create(std::vector<CycleIo::Lane> lanes) {
  if (m_path != IoPath::Sync) {
    if (auto io = makeUringCycleIo(lanes)) {
      m_last = io->name();
      return io;
    }
  }
  auto io = std::make_unique<LaneCycleIo>(std::move(lanes));
  m_last = io->name();
  return io;
}

}  // namespace mdi
