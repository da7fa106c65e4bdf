#pragma once
// Lanes whose transfers run on a thread of each lane's own, so that a read
// or write that hangs holds that thread and never the caller's. A lane
// reads through read() into its thread's buffer, or through the lane's
// LaneReader when it has one; it writes through write(). Reading and
// writing a block on one thread keeps both copies of its bytes on one core.
// A step in pieces is read, prepared and written piece after piece there,
// and the caller hears of it once, after its last piece.
//
// Locking: one mutex, in state shared by the caller's object and every lane
// thread, guards each lane's request, its busy/preparing flags, the
// abandoned flag and the steps of busy lanes; condition variables wake
// each lane's thread (its request; one per lane, so a request wakes no
// other) and the caller (a lane done, a prepare ended). The transfers and
// prepare run outside the mutex: a lane's buffers, its reader and its step
// belong to its thread while the lane is busy, and to the caller once the
// thread has cleared busy under the mutex.
//
// Lifetime: the shared state lives as long as its last holder. abandon()
// detaches the threads of busy lanes, and of lanes whose readers still have
// requests out (a writeback), and hands them the source and output they
// use; such a thread, once its call returns, prepares and writes nothing
// more, cuts and closes an output it was writing, lets its reader wait out
// its requests, releases what it held and ends. Other lane threads are
// told to end and joined; a reader is always let go on its lane's thread.
#include <chrono>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "platform/CycleIo.h"
#include "platform/LaneReader.h"

namespace mdi {

class LaneThreads {
 public:
  // readers, when given, has one per lane (a null one reads plainly).
  explicit LaneThreads(std::vector<CycleIo::Lane> lanes, std::vector<std::unique_ptr<LaneReader>> readers = {});
  ~LaneThreads();
  LaneThreads(const LaneThreads&) = delete;
  LaneThreads& operator=(const LaneThreads&) = delete;

  // Starts lane `lane`'s read of step.readLength bytes and, when it brings
  // bytes, the write of what prepare makes of them. step and prepare must
  // stay valid until the lane is done or abandoned.
  void start(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare);
  // Waits until a lane has finished a step not yet taken by takeFinished(),
  // or no lane is busy, or until `deadline`. False when the time ran out.
  bool waitFinished(std::chrono::steady_clock::time_point deadline);
  // The lanes that have finished their steps since the last call; their
  // steps now belong to the caller.
  std::vector<std::size_t> takeFinished();
  // Gives up every busy lane (see Lifetime): its step is marked pending and
  // it takes what it uses out of held[lane]. Waits only for prepare calls
  // in progress, which never touch a drive.
  void abandon(std::span<CycleIo::Held> held);

 private:
  struct Shared;
  static void laneMain(std::shared_ptr<Shared> shared, std::size_t lane);
  std::shared_ptr<Shared> m_shared;
  std::vector<std::thread> m_threads;
};

}  // namespace mdi
