#pragma once
// A FUSE filesystem of the tests' own, mounted in this process on its own
// threads, serving read-only files (mode 0444) in its root folder whose
// reads fail, come back short, stall or are slow where a test says
// (FaultFile.h). Real files for real system calls, and for loop devices
// over them (tests/fakes/LoopDevice.h).
//
// Mounting needs root and /dev/fuse; unavailableReason() says why not before
// a test tries.
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/fusedev/FaultFile.h"

struct fuse_session;

namespace mdi::fusedev {

class FaultFs {
 public:
  // Empty when this process can mount a FaultFs, else the reason it cannot.
  static std::string unavailableReason();

  // Mounts an empty filesystem on mountPoint (created, and removed again by
  // the destructor). Throws std::system_error when the mount fails.
  explicit FaultFs(std::filesystem::path mountPoint);
  // Releases every stall, unmounts (lazily: the mount is gone at once) and
  // waits for the filesystem's threads. Close every descriptor and loop
  // device over its files first: a file still open keeps it serving, and
  // this waiting, for up to 10 s; then the connection is aborted through
  // the fusectl filesystem and such files fail with ENOTCONN.
  ~FaultFs();
  FaultFs(const FaultFs&) = delete;
  FaultFs& operator=(const FaultFs&) = delete;

  // Adds a file, visible at once, under a name not taken yet. The reference
  // lives as long as this object.
  FaultFile& add(FileSpec spec);

  const std::filesystem::path& mountPoint() const { return m_mountPoint; }

 private:
  friend struct FaultFsOps;
  FaultFile* byInode(unsigned long long ino);  // null past the last file

  std::filesystem::path m_mountPoint;
  bool m_madeFolder = false;
  fuse_session* m_session = nullptr;
  unsigned m_connection = 0;  // minor number of the mount's st_dev

  std::mutex m_mutex;  // guards m_files; its elements never move
  std::vector<std::unique_ptr<FaultFile>> m_files;

  std::future<void> m_loop;  // the session's loop, on threads of its own
};

}  // namespace mdi::fusedev
