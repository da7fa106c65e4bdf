#pragma once
// The files a job writes beside its image: one checksum file per digest
// asked for, the record (.log), the ddrescue map (.map) and, for a mutate
// job whose layout leaves bytes out of the image, the `.extra` that keeps
// them. The overwrite question and the refusals before a run both go by
// this list, so no file is written that was not asked about and checked.
#include <string>
#include <vector>

#include "support/Hasher.h"

namespace mdi {

// "<image>.extra".
std::string extraFilePath(const std::string& image);

// Every file written beside `image`, `.extra` first when `extra`.
std::vector<std::string> sideFilePaths(const std::string& image, HashAlgos algos, bool extra);

}  // namespace mdi
