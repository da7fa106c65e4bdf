#pragma once
// A small tmpfs a test mounts to get a real filesystem that fills up at a
// known size. Needs root; mount() says why not, for GTEST_SKIP(). Unmount
// before removing the folder that holds the mount point.
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace mdi {

class SmallTmpfs {
 public:
  SmallTmpfs() = default;
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  ~SmallTmpfs() { unmount(); }

  // Creates `where` and mounts a tmpfs of `size` ("64k", "1m") on it, with
  // `flags` (MS_RDONLY) besides. Returns "" when mounted, else the reason it
  // cannot be.
  std::string mount(const std::filesystem::path& where, const std::string& size, unsigned long flags = 0) {
    if (::geteuid() != 0) return "mounting a small tmpfs needs root";
    std::filesystem::create_directories(where);
    const std::string options = "size=" + size;
    if (::mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | flags, options.c_str()) != 0)
      return std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    m_where = where;
    return {};
  }
  void unmount() {
    if (!m_where.empty()) ::umount2(m_where.c_str(), MNT_DETACH);
    m_where.clear();
  }

 private:
  std::filesystem::path m_where;
};

}  // namespace mdi
