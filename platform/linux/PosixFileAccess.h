#pragma once
#include "platform/RawIo.h"

namespace mdi {

// Files and block devices through open/read/write/ftruncate/fdatasync.
class PosixFileAccess final : public FileAccess {
 public:
  std::unique_ptr<Source> openSource(const std::string& path) override;
  std::unique_ptr<Output> createOutput(const std::string& path) override;
  std::unique_ptr<Output> reopenOutput(const std::string& path) override;
};

// A source over an open descriptor (owned). Exposed for the drive table,
// which opens device nodes itself.
std::unique_ptr<Source> makeFdSource(int fd);

}  // namespace mdi
