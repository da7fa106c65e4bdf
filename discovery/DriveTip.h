#pragma once
// The tooltip of a drive row: what tells two drives apart when their model
// texts look alike (two identical disks, loop devices over files whose
// names differ only in case).
#include <string>

#include "platform/DriveEnumerator.h"
#include "support/NumberFormat.h"

namespace mdi {

// Lines: the model as the device reports it (case kept), the device node,
// the serial ("none" when it reports none), the size in bytes, the
// logical sector size, for a disk that reports one its protection type, and
// each note of what could not be read or decided about it.
std::string driveTip(const DriveRecord& d, const Separators& sep);

}  // namespace mdi
