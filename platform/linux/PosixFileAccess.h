#pragma once
#include <functional>

#include "platform/RawIo.h"

namespace mdi {

// Files and block devices through open/read/write/ftruncate/fdatasync.
class PosixFileAccess final : public FileAccess {
 public:
  std::unique_ptr<Source> openSource(const std::string& path) override;
  std::unique_ptr<Output> createOutput(const std::string& path) override;
  std::unique_ptr<Output> reopenOutput(const std::string& path) override;
};

// How a descriptor given to makeFdSource was come by.
struct FdOrigin {
  SourceAccess access = SourceAccess::Direct;
  // A second read-only descriptor of the same device that reads past the
  // page cache (O_DIRECT), or -1 with errno set. Empty: the source reopens
  // its own descriptor through /proc/self/fd, which only works for a user
  // who may open the node.
  std::function<int()> openDirect;
};

// A source over an open descriptor (owned). Exposed for the drive table,
// which opens device nodes itself.
std::unique_ptr<Source> makeFdSource(int fd, FdOrigin origin = {});

}  // namespace mdi
