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
// The transfers never run on the caller's thread as a blocking call it
// cannot leave: start() hands a cycle out, wait() waits for it a bounded
// time, so the caller can keep its window alive while a drive hangs, and
// abandon() gives up a cycle whose transfers have not returned, leaving them
// to finish safely on their own (see abandon()).
//
// Implementations differ only in how the transfers overlap: the plain path
// runs lane after lane; the io_uring path has every lane's read in flight at
// once and each write as soon as its read is prepared. Either way each lane
// sees the same bytes at the same offsets, in the same order.
#include <chrono>
#include <cstddef>
#include <cstdint>
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
    // out: the cycle was abandoned before this lane's transfer returned;
    // read and write tell nothing then.
    bool pending = false;
  };
  // The bytes to write for what lane `lane` read. Called once per lane with
  // data, in any lane order, possibly on a thread of the implementation's
  // and for several lanes at once (never twice at once for one lane); by
  // the time wait() returns true or abandon() returns, no call is running.
  // step.read of the lane is already set when it is called. The returned
  // span must stay valid until the cycle has completed or been abandoned.
  using Prepare = std::function<std::span<const std::byte>(std::size_t lane, std::span<const std::byte> data)>;

  // What a lane still holds when its cycle is abandoned. The caller fills
  // it; abandon() takes out what a transfer still uses.
  struct Held {
    std::unique_ptr<Source> source;
    std::unique_ptr<Output> output;
    // The image length the caller counted: an output taken because its
    // write had not returned is cut to it, synced and closed once it has.
    std::uint64_t imageLength = 0;
  };

  virtual ~CycleIo() = default;
  // steps[i] belongs to lane i; steps.size() is the lane count. Starts the
  // cycle's transfers; steps and prepare must stay valid until wait()
  // returned true or abandon() returned.
  virtual void start(std::span<Step> steps, const Prepare& prepare) = 0;
  // Waits up to `timeout` for the started cycle. True when every transfer
  // of it has completed (at once when no cycle is started).
  virtual bool wait(std::chrono::milliseconds timeout) = 0;
  // Gives up the started cycle. Lanes whose transfers have completed keep
  // their outcomes in their steps; the others are marked pending and take
  // out of held[lane] what their transfer still uses (the source of a read,
  // the output of a write). Everything taken, and every buffer in use,
  // lives until the kernel (or the thread stuck in the call) lets go; a
  // read that returns then is neither prepared nor written. The caller may
  // close what is left in `held` and destroy this object at once.
  virtual void abandon(std::span<Held> held) = 0;
  // start() and wait() until the cycle has completed.
  void cycle(std::span<Step> steps, const Prepare& prepare) {
    start(steps, prepare);
    while (!wait(std::chrono::hours(1))) {
    }
  }
  // Waits out every read started early, after which the lanes' sources and
  // outputs may be closed. The destructor does the same. Only between cycles.
  virtual void quiesce() = 0;
  // "io_uring" or "sync", for the operator's and the benchmark's benefit.
  virtual const char* name() const = 0;
};

class CycleIoFactory {
 public:
  virtual ~CycleIoFactory() = default;
  virtual std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) = 0;
};

// The plain path: read() and write() calls, each lane's read followed by its
// write on a thread of the lane's own (LaneThreads). Never reads ahead.
class SyncCycleIo final : public CycleIo {
 public:
  explicit SyncCycleIo(std::vector<Lane> lanes);
  ~SyncCycleIo() override;
  void start(std::span<Step> steps, const Prepare& prepare) override;
  bool wait(std::chrono::milliseconds timeout) override;
  void abandon(std::span<Held> held) override;
  void quiesce() override {}
  const char* name() const override { return "sync"; }

 private:
  std::unique_ptr<class LaneThreads> m_threads;
};

class SyncCycleIoFactory final : public CycleIoFactory {
 public:
  std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) override {
    return std::make_unique<SyncCycleIo>(std::move(lanes));
  }
};

}  // namespace mdi
