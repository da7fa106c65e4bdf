#pragma once
// The copy loops' I/O with every lane on a thread of its own.
#include <memory>
#include <vector>

#include "platform/CycleIo.h"
#include "platform/LaneReader.h"

namespace mdi {

// Every lane on a thread of its own (LaneThreads), reading through its
// LaneReader, or through read() when it has none (the plain path).
class LaneCycleIo final : public CycleIo {
 public:
  explicit LaneCycleIo(std::vector<Lane> lanes, std::vector<std::unique_ptr<LaneReader>> readers = {},
                       const char* name = "sync");
  ~LaneCycleIo() override;
  void start(std::span<Step> steps, const Prepare& prepare) override;
  bool wait(std::chrono::milliseconds timeout) override;
  void abandon(std::span<Held> held) override;
  const char* name() const override { return m_name; }

 private:
  std::unique_ptr<class LaneThreads> m_threads;
  std::vector<Step*> m_steps;  // each lane's last started step
  const char* m_name;
};

class SyncCycleIoFactory final : public CycleIoFactory {
 public:
  std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) override {
    return std::make_unique<LaneCycleIo>(std::move(lanes));
  }
};

}  // namespace mdi
