#pragma once
// The main window's run variables, shared by the run, the Stop button and
// the progress timer. They live as long as the window.
#include <cstdint>
#include <string>
#include <vector>

#include "support/Fixed4.h"

namespace mdi {

struct RunState {
  std::string TargetFolder;    // run-wide target folder; "" when none
  std::int32_t StartTick = 0;  // tick when the main pass started
  std::int32_t NowTick = 0;    // tick of the latest refresh
  std::int32_t ElapsedSeconds = 0;
  std::int16_t StopRequested = 0;  // 1 once the operator confirmed Stop
  std::int64_t BytesDone = 0;      // one block per cycle
  std::int32_t BytesPerSecond = 0;
  std::int64_t TotalBytes = 0;  // expected length, on the largest source
  std::int32_t RemainingSeconds = 0;
  std::int32_t MBPerSecond = 0;
  std::int64_t BlockSize = 0;  // 131072 main pass, 512 finishing pass
  Fixed4 LargestBlocks;        // largest size, then that size in blocks
};

}  // namespace mdi
