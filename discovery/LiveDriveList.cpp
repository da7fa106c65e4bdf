#include "discovery/LiveDriveList.h"

#include <algorithm>

#include "discovery/ListDrives.h"
#include "jobs/JobList.h"

namespace mdi {

void applyDriveChanges(FormState& form, const DriveChanges& changes, const Separators& sep) {
  if (changes.empty()) return;
  GridModel& grid = form.iGrid1;
  for (int row = grid.rowCount(); row >= 1; --row) {
    const std::string id = grid.value(row, 1);
    if (id.empty() || id == kFileId) continue;
    const int number = std::stoi(id);
    if (std::find(changes.detached.begin(), changes.detached.end(), number) != changes.detached.end())
      grid.removeRows(row, 1);
  }
  for (const DriveRecord& d : changes.attached)
    if (d.listable()) AddDriveRow(grid, d, sep);
  grid.sortByColumn(1);
}

}  // namespace mdi
