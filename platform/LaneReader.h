#pragma once
// How a lane's thread gets the bytes of a step, when plain read() calls
// into the thread's own buffer are not the way (see LaneThreads).
#include <cstddef>
#include <memory>
#include <span>

#include "platform/CycleIo.h"

namespace mdi {

class LaneReader {
 public:
  struct Got {
    IoResult result;
    std::span<const std::byte> data;  // result.bytes long
    // Owns data; handed to prepare as step.readOwner, so a hash may keep
    // reading it after the step. The reader never reads into it again
    // while anyone holds it.
    std::shared_ptr<const void> owner;
  };
  virtual ~LaneReader() = default;
  // On the lane's thread: reads `length` bytes (the step's, or a piece of
  // it: CycleIo::Step::pieceLength) from the lane's source, as step asks
  // (plainRead). May wait on the drive; a
  // wait the reader can leave ends soon after wakeForAbandon(), with an
  // outcome nobody reads.
  virtual Got read(const CycleIo::Step& step, std::size_t length) = 0;
  // On the lane's thread, after the step's bytes were written whole.
  virtual void written() {}
  // True while the reader has transfers of its own out (a writeback).
  // Asked from another thread only while the lane's thread is idle.
  virtual bool outstanding() const { return false; }
  // From any thread: the run is given up; a read() waiting returns.
  virtual void wakeForAbandon() {}
};

}  // namespace mdi
