#include "engine/RunController.h"
#include "engine/RunInternals.h"

namespace mdi {

// Filled in with the sector conversion.
void RunController::RunMutateImaging() {}
void RunController::mutateLoop(Run&) {}

}  // namespace mdi
