#pragma once
// Lanes whose transfers run through read() and write() on a thread of each
// lane's own, so that a read or write that hangs holds that thread and
// never the caller's.
//
// Locking: one mutex, in state shared by the caller's object and every lane
// thread, guards each lane's request, its busy/preparing flags, the
// abandoned flag and the steps of busy lanes; condition variables wake
// each lane's thread (its request; one per lane, so a request wakes no
// other) and the caller (a lane done, a prepare ended). The transfers and prepare run outside the mutex: a lane's
// buffers and its step belong to its thread while the lane is busy, and to the caller once the thread has cleared busy
// under the mutex.
//
// Lifetime: the shared state lives as long as its last holder. abandon()
// detaches the threads of busy lanes and hands them the source and output
// they use; such a thread, once its call returns, prepares and writes
// nothing more, cuts and closes an output it was writing, releases what it
// held and ends. Idle lane threads are told to end and joined.
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "platform/CycleIo.h"

namespace mdi {

class LaneThreads {
 public:
  // onFinished, when given, is called on a lane's thread each time the lane
  // finishes a step, with the mutex held: it must be quick and must not
  // call back. Never called for a step given up by abandon().
  explicit LaneThreads(std::vector<CycleIo::Lane> lanes, std::function<void()> onFinished = {});
  ~LaneThreads();
  LaneThreads(const LaneThreads&) = delete;
  LaneThreads& operator=(const LaneThreads&) = delete;

  // Starts lane `lane`'s read of step.readLength bytes and, when it brings
  // bytes, the write of what prepare makes of them. step and prepare must
  // stay valid until the lane is done or abandoned.
  void start(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare);
  // Bytes the caller has read already (step.read set): only the prepare
  // and the write run on the lane's thread. `keep` owns `data` and is held
  // until the write has returned, so an abandoned write never writes from
  // freed memory; prepare finds it as step.readOwner.
  struct Given {
    std::span<const std::byte> data;
    std::shared_ptr<const void> keep;
  };
  void startWrite(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare, Given given);
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
  void request(std::size_t lane, CycleIo::Step& step, const CycleIo::Prepare& prepare, Given given);
  std::shared_ptr<Shared> m_shared;
  std::vector<std::thread> m_threads;
};

}  // namespace mdi
