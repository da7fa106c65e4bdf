#pragma once
// The files a job writes beside its image: one checksum file per digest
// asked for, the record (.log), the ddrescue map (.map) and, for a mutate
// job whose layout leaves bytes out of the image, the `.extra` that keeps
// them. The overwrite question and the refusals before a run both go by
// this list, so no file is written that was not asked about and checked.
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

// Every file written beside `image`, `.extra` first when `extra`.
std::vector<std::string> sideFilePaths(const std::string& image, HashAlgos algos, bool extra);

}  // namespace mdi
