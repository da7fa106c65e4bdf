#pragma once
// The copy loops' cycles through io_uring, each lane on its own thread.
#include <memory>
#include <vector>

#include "platform/CycleIo.h"

namespace mdi {

// Each lane reads through a ring of its own on its own thread (UringLane)
// and writes each block straight into the page cache, with the disk's
// writeback of it started in the background every 8 MiB; a lane whose
// source has no descriptor is read through read(). A read that takes
// longer than its transfer (a simulated drive's latency) is modelled with
// a timeout request beside it, so nothing ever sleeps.
//
// nullptr when the kernel offers no usable io_uring (setup refused, as by
// seccomp or io_uring_disabled, or a request kind the lanes use missing);
// *error then holds the reason as an errno value.
std::unique_ptr<CycleIo> makeUringCycleIo(std::vector<CycleIo::Lane> lanes, int* error = nullptr);

enum class IoPath { Auto, Sync };

// MDIMAGER_IO=sync forces the plain path; anything else, or nothing, lets the
// program use io_uring where the kernel offers it.
IoPath ioPathFromEnvironment();

// io_uring where available, the plain path otherwise or when asked for.
class LinuxCycleIoFactory final : public CycleIoFactory {
 public:
  explicit LinuxCycleIoFactory(IoPath path = IoPath::Auto) : m_path(path) {}
  std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) override;
  // The path the last create() chose ("io_uring" or "sync"); "" before.
  const char* lastPath() const { return m_last; }

 private:
  IoPath m_path;
  const char* m_last = "";
};

}  // namespace mdi
