#pragma once
// Writing a whole small file (a checksum file, a record, a map) so that a
// reader or a crash sees either the old file or the complete new one; and
// removing one for good.
#include <cstddef>
#include <string>
#include <string_view>

namespace mdi {

// The longest file name write() takes: its temporary, in the same folder,
// has a longer one, and file systems take names of at most 255 bytes.
inline constexpr std::size_t kLongestAtomicName = 232;

class AtomicFile {
 public:
  virtual ~AtomicFile() = default;
  // Makes `path` hold exactly `contents` (mode 0644 less the umask):
  // a temporary file in the same folder is written, synced and renamed over
  // path, then the folder is synced so the rename survives a crash.
  // Returns 0, or the errno of the first step that failed. On any failure
  // before the rename, the temporary is removed and path is untouched (an
  // existing file keeps its contents, a missing one stays missing). Only a
  // failure to sync the folder comes after the rename: path then holds the
  // new contents, which may not survive a crash.
  // Whether an existing file may be replaced is the caller's question.
  virtual int write(const std::string& path, std::string_view contents) = 0;
  // Makes `path` absent, the folder synced so that a crash does not bring
  // it back. Returns 0 once it is gone (or was never there), else the errno.
  virtual int remove(const std::string& path) = 0;
};

}  // namespace mdi
