#pragma once
// What a rescan of the attached drives found changed since the last one.
// Drive numbers never change meaning: a drive still attached keeps its
// number, a newly attached one gets a number never given before, and a
// detached one's number is not given again.
#include <vector>

#include "platform/DriveEnumerator.h"

namespace mdi {

struct DriveChanges {
  std::vector<DriveRecord> attached;  // with their new numbers
  std::vector<int> detached;          // numbers of drives no longer attached
  bool empty() const { return attached.empty() && detached.empty(); }
};

}  // namespace mdi
