#pragma once
// Fills the drive grid (iGrid1) from the drive enumerator and marks the
// drives that hold the running system.
#include <string>
#include <vector>

#include "jobs/FormState.h"
#include "jobs/JobList.h"
#include "platform/DriveEnumerator.h"
#include "support/GridModel.h"
#include "support/NumberFormat.h"

namespace mdi {

// Eight columns: ID, Model, Size, PNP (hidden), Size I (hidden), BPS, Bus, _ID.
void setUpDriveGrid(GridModel& grid);

// The model text shown for a drive: lower-cased, every "scsi disk device"
// removed, upper-cased.
std::string cleanModel(const std::string& model);

// Appends the row of one drive unless it is filtered out (size 0, model
// containing "CONFIG"); a pass-through disk this user may not ask is
// listed at size "?". Returns whether a row was added.
bool AddDriveRow(GridModel& grid, const DriveRecord& d, const Separators& sep);

// Appends a drive's row as the drive list shows it: AddDriveRow, then red
// when it holds the running system (its node is one of `systemDisks`, the
// form's SystemDisks). Returns whether a row was added.
bool AddListedDriveRow(GridModel& grid, const DriveRecord& d, const std::string& systemDisks, const Separators& sep);

// The drives attached now and the nodes of those under the filesystems of
// `systemPaths` ("/" and the program's folder), "/dev/sda,"-joined. When
// the drives under one of those cannot all be found, every drive counts as
// a system drive, with a note saying why. Reads sysfs, udev and the drives:
// never on the window's thread.
struct DriveListing {
  std::vector<DriveRecord> records;
  std::string systemDisks;
};
DriveListing GatherDrives(DriveEnumerator& drives, const std::vector<std::string>& systemPaths);

// Empties the drive grid, records SystemDisks, lists every drive with a
// medium (or that is only denied to this user) and marks the system's.
// Ends with the grid ordered by column 1. Returns the records listed, with
// their notes.
std::vector<DriveRecord> ShowDrives(FormState& form, DriveListing listing, const Separators& sep);

}  // namespace mdi
