#pragma once
// The I/O of a copy loop across every job of a run, each job at its own
// pace.
//
// Each job is a lane: a source and an output. A lane is started with a read
// length: it reads that many bytes from its source's position (read
// contract of RawIo.h) and, when the read brought any bytes, writes what the
// prepare step makes of them to its output (write contract). That is one
// step of the lane; a step may be read, prepared and written in pieces, one
// after another, without the caller in between. Lanes are started and
// finish independently: wait() returns as soon as any started lane has
// finished its step, marks those lanes `completed`, and the caller settles
// them and starts them again while the others are still reading. So a fast
// drive is never held to a slow one's pace, and one drive's slow read holds
// up no other.
//
// The transfers never run on the caller's thread as a blocking call it
// cannot leave: start() hands lanes out, wait() waits a bounded time, so the
// caller can keep its window alive while a drive hangs, and abandon() gives
// up the lanes whose transfers have not returned, leaving them to finish
// safely on their own (see abandon()).
//
// Each lane runs on a thread of its own, which reads a block, prepares it
// and writes it, so both copies of a block's bytes are made on one core.
// The paths differ only in how the lane reads: the plain path through
// read(); the io_uring path through a ring of the lane's own, which a run
// given up wakes from a held read. Either way each lane sees the same bytes
// at the same offsets, in the same order, and the page cache's read-ahead
// keeps a drive busy with the blocks after a step's.
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
    // in: start this lane's step now. start() takes it (clears it); a lane
    // whose step is still out must not be given one.
    bool go = false;
    std::size_t readLength = 0;
    // Read through read(), never io_uring: a re-read after a failed read.
    // io_uring's buffered read of a block device fails a page that a failed
    // read left behind where read() reads it again (seen on loop devices),
    // and such a re-read must get every byte that can still be read.
    bool plainRead = false;
    // Read and write the step in pieces of at most this many bytes (0: in
    // one). Each piece is prepared on its own; read and write add up the
    // pieces, and the step ends at the first piece that falls short.
    std::size_t pieceLength = 0;
    IoResult read;   // out
    IoResult write;  // out; untouched when the read brought nothing
    // out: the cycle was abandoned before this lane's transfer returned;
    // read and write tell nothing then.
    bool pending = false;
    // out, set by prepare: the step ends with this piece, as when it fell
    // short (what the piece read could not all be prepared).
    bool endsHere = false;
    // out: set by the wait() that reports this step finished; read and
    // write hold its outcome. The caller clears it once it has settled it.
    bool completed = false;
    // out, set by prepare when the bytes it returns are not the read's:
    // what owns them. An implementation that must write them after the
    // caller has gone (a write given up by abandon()) holds this instead
    // of copying them.
    std::shared_ptr<const void> keep;
    // Set for prepare when the implementation hands the bytes read over:
    // what owns them. Whoever holds it may keep reading them after the step
    // (a hash behind the copy); the implementation never reads into them
    // again while anyone does. Null when the bytes are only lent to prepare.
    std::shared_ptr<const void> readOwner;
    // For implementations of start(): takes `go` and, when it was set,
    // clears the outcome of the step about to start.
    bool takeGo() {
      if (!go) return false;
      Step next;
      next.readLength = readLength;
      next.plainRead = plainRead;
      next.pieceLength = pieceLength;
      *this = std::move(next);
      return true;
    }
  };
  // The bytes to write for what lane `lane` read. Called once per piece
  // with data, in order, possibly on a thread of the implementation's and
  // for several lanes at once (never twice at once for one lane); by the
  // time wait() reports the lane completed, or abandon() returns, its call
  // has ended. step.read of the lane already counts the piece when it is
  // called (its error is the piece's). The returned span must stay valid
  // until the piece is written, the step has completed or been abandoned.
  using Prepare = std::function<std::span<const std::byte>(std::size_t lane, std::span<const std::byte> data)>;

  // What a lane still holds when its step is abandoned. The caller fills
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
  // step of every lane whose `go` is set (and clears it), resetting its
  // outcome; other lanes, idle or still out, are left as they are. steps
  // and prepare must stay valid while any step is out.
  virtual void start(std::span<Step> steps, const Prepare& prepare) = 0;
  // Waits up to `timeout` until some started step has finished, then marks
  // every finished one not yet reported `completed`. True then, and at once
  // when no step is out; false when the time ran out first.
  virtual bool wait(std::chrono::milliseconds timeout) = 0;
  // Gives up every step still out. Lanes whose transfers have completed
  // keep their outcomes in their steps; the others are marked pending and
  // take out of held[lane] what their transfer still uses (the source of a
  // read, the output of a write). Everything taken, and every buffer in
  // use, lives until the kernel (or the thread stuck in the call) lets go;
  // a read that returns then is neither prepared nor written. The caller
  // may close what is left in `held` and destroy this object at once.
  virtual void abandon(std::span<Held> held) = 0;
  // Starts every lane with a read length and waits until all of them have
  // completed: one step of every lane, as a test drives it.
  void cycle(std::span<Step> steps, const Prepare& prepare);
  // The destructor waits out every request abandon() did not leave to
  // finish alone (a writeback), after which the lanes' sources and outputs
  // may be closed. Only while no step is out.
  // "io_uring" or "sync", for the operator's and the benchmark's benefit.
  virtual const char* name() const = 0;
};

class CycleIoFactory {
 public:
  virtual ~CycleIoFactory() = default;
  virtual std::unique_ptr<CycleIo> create(std::vector<CycleIo::Lane> lanes) = 0;
};

}  // namespace mdi
