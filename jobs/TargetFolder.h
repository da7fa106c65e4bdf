#pragma once
#include "jobs/FormState.h"
#include "platform/Services.h"

namespace mdi {

// "Set Target": the operator picks the run-wide target folder; a missing
// folder is created. Cancelling empties the target. Jobs already listed keep
// their file names, but for names made while there was no target, which
// move into the chosen folder.
void SetTarget(FormState& form, Services& sv);

}  // namespace mdi
