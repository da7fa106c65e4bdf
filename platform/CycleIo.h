#pragma once
// One cycle of a copy loop's I/O across every job of a run.
//
// Each job is a lane: a source and an output. In a cycle every lane given a
// read length reads that many bytes from its source's position (read
// contract of RawIo.h) and, when the read brought any bytes, writes what the
// prepare step makes of them to its output (write contract). cycle()
// returns when every read and write of the cycle has completed, so what the
// loop does next (statuses, progress, the event pump, the stop test) sees a
// whole cycle, however the transfers were carried out.
//
// Implementations differ only in how the transfers overlap: the plain path
// runs lane after lane; the io_uring path has every lane's read in flight at
// once and each write as soon as its read is prepared. Either way each lane
// sees the same bytes at the same offsets, in the same order.
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/RawIo.h"

namespace mdi {

class CycleIo {
 public:
  struct Lane {
    Source* source = nullptr;
    Output* output = nullptr;
  };
  struct Step {
    std::size_t readLength = 0;  // 0: the lane sits this cycle out
    // The lane's next cycle will read readLength bytes again from where this
    // read ends, so that read may be started early. It is only ever used by
    // a cycle that asks for exactly that read; otherwise it is dropped.
    bool readAhead = false;
    IoResult read;   // out
    IoResult write;  // out; untouched when the read brought nothing
  };
  // The bytes to write for what lane `lane` read. Called on the caller's
  // thread, once per lane with data, in any lane order; the returned span
  // must stay valid until cycle() returns.
  using Prepare = std::function<std::span<const std::byte>(std::size_t lane, std::span<const std::byte> data)>;

  virtual ~CycleIo() = default;
  // steps[i] belongs to lane i; steps.size() is the lane count.
  virtual void cycle(std::span<Step> steps, const Prepare& prepare) = 0;
  // Waits out every read started early, after which the lanes' sources and
  // outputs may be closed. The destructor does the same.
  virtual void quiesce() = 0;
  // "io_uring" or "sync", for the operator's and the benchmark's benefit.
  virtual const char* name() const = 0;
};

class CycleIoFactory {
 public:
  virtual ~CycleIoFactory() = default;
  virtual std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) = 0;
};

// The plain path: lane after lane, each read followed by its write, the way
// a single-threaded copy loop has always done it. Never reads ahead.
class SyncCycleIo final : public CycleIo {
 public:
  explicit SyncCycleIo(std::vector<Lane> lanes);
  void cycle(std::span<Step> steps, const Prepare& prepare) override;
  void quiesce() override {}
  const char* name() const override { return "sync"; }

 private:
  std::vector<Lane> m_lanes;
  std::vector<std::byte> m_buffer;
};

class SyncCycleIoFactory final : public CycleIoFactory {
 public:
  std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) override {
    return std::make_unique<SyncCycleIo>(std::move(lanes));
  }
};

}  // namespace mdi
