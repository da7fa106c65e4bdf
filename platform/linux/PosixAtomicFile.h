#pragma once
#include <cstdint>

#include "platform/AtomicFile.h"

namespace mdi {

// open(O_EXCL) of "<folder>/.<name>.<pid>.<n>.tmp", write, fsync, close,
// rename(2), fsync of the folder; unlink(2), fsync of the folder.
class PosixAtomicFile final : public AtomicFile {
 public:
  int write(const std::string& path, std::string_view contents) override;
  int remove(const std::string& path) override;

 private:
  std::uint64_t m_serial = 0;  // keeps this object's temporaries apart
};

}  // namespace mdi
