#include "platform/CycleIo.h"

namespace mdi {

void CycleIo::cycle(std::span<Step> steps, const Prepare& prepare) {
  for (Step& st : steps) {
    st.go = st.readLength > 0;
    st.completed = false;
  }
  start(steps, prepare);
  auto allDone = [&] {
    for (const Step& st : steps)
      if (st.readLength > 0 && !st.completed && !st.pending) return false;
    return true;
  };
  while (!allDone()) wait(std::chrono::hours(1));
}

}  // namespace mdi
