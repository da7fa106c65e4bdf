#pragma once
// One straight run through the real main window (offscreen or under X), as
// an operator starts it: the real files, clock and I/O the program runs on.
#include <cstdint>
#include <filesystem>
#include <string>

#include "support/Hasher.h"

namespace mdi::bench {

// Images `source` (`bytes` long) into outDir with the given digests (none:
// the copy alone). Returns the seconds from Run to the last file closed;
// the outputs stay for the caller to remove (removeOutputs). Negative when
// the image is not whole. `cpu`, when given, gets the process's CPU seconds
// over the same span: what the run cost, without building the window.
double windowRun(const std::string& source, std::uint64_t bytes, const std::filesystem::path& outDir,
                 HashAlgos hashes = {}, double* cpu = nullptr);

}  // namespace mdi::bench
