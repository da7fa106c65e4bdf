#pragma once
// Keeps the drive grid in step with the attached drives between runs.
#include "discovery/DriveChanges.h"
#include "jobs/FormState.h"
#include "support/NumberFormat.h"

namespace mdi {

// Removes the drive rows of detached drives from the drive grid (jobs stay
// in the job list: Run refuses them, their drive being gone), lists the
// newly attached drives that have a medium, and orders the grid by number.
// Image-file rows are kept.
void applyDriveChanges(FormState& form, const DriveChanges& changes, const Separators& sep);

}  // namespace mdi
