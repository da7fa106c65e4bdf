#pragma once
// How a job of a run ended, and the status texts the operator sees. The
// outcome decides the final text; the text never decides anything.
namespace mdi {

// How a job ended, in the order that decides it: a failed write spoils the
// image whatever else happened; a failed read ends it at the failure; a job
// the loop never began is not imaged; one that found its source's end is
// complete, or, going past read errors, has every readable byte but those
// it could not read (Unread); anything else was stopped before its end.
enum class JobOutcome { Done, Stopped, NotImaged, ReadError, Unread, WriteError };

namespace Status {
inline constexpr const char* Preparing = "Preparing output file";
inline constexpr const char* Imaging = "Imaging";
inline constexpr const char* ImagingMutate = "Imaging...";
inline constexpr const char* Waiting = "Waiting ...";
inline constexpr const char* WriteError = "Write Error ...";
inline constexpr const char* ReadError = "Read Error ...";
inline constexpr const char* Finishing = "Finishing...";
inline constexpr const char* Done = "Done.";
inline constexpr const char* Stopped = "Stopped";
inline constexpr const char* NotImaged = "Not imaged";
// Going past read errors: the passes after the sweep, and the end of a job
// with bytes it could not read ("Read Errors: 266,752 bytes unread").
inline constexpr const char* Trimming = "Trimming";
inline constexpr const char* Scraping = "Scraping";
inline constexpr const char* Retrying = "Retrying";  // "Retrying 1 of 3"
inline constexpr const char* ReadErrors = "Read Errors:";
}  // namespace Status

}  // namespace mdi
