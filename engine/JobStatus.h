#pragma once
// How a job of a run ended, and the status texts the operator sees. The
// outcome decides the final text; the text never decides anything.
namespace mdi {

enum class JobOutcome { Ok, ReadError, WriteError };

namespace Status {
inline constexpr const char* Preparing = "Preparing output file";
inline constexpr const char* Imaging = "Imaging";
inline constexpr const char* ImagingMutate = "Imaging...";
inline constexpr const char* Waiting = "Waiting ...";
inline constexpr const char* WriteError = "Write Error ...";
inline constexpr const char* ReadError = "Read Error ...";
inline constexpr const char* Finishing = "Finishing...";
inline constexpr const char* Done = "Done.";
}  // namespace Status

}  // namespace mdi
