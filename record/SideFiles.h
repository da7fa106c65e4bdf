#pragma once
// The files that stand beside an image: a checksum file per digest, the
// record (.log), the ddrescue map (.map) and, for a mutate job whose layout
// leaves bytes out of the image, the `.extra` that keeps them. A job
// overwriting an image writes some of them and removes the rest, so that
// nothing beside the new image speaks of the old one. The overwrite
// question and the refusals before a run both go by this list, so no file
// is written or removed that was not asked about and checked.
#include <optional>
#include <string>
#include <vector>

#include "platform/RawIo.h"
#include "support/Hasher.h"

namespace mdi {

// The name this program writes into its records and maps.
inline constexpr const char* kProgramName = "mdimager";

// A record or map beside an image, read whole (at most 64 MiB); nullopt
// when it cannot be read.
std::optional<std::string> readSmallFile(FileAccess& files, const std::string& path);

// "<image>.extra".
std::string extraFilePath(const std::string& image);

// Every file that may stand beside `image`, `.extra` first.
std::vector<std::string> sideFilePaths(const std::string& image);
// The image, then every file beside it: all a job's files.
std::vector<std::string> jobFilePaths(const std::string& image);

}  // namespace mdi
