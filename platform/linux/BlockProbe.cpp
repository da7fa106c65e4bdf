#include "platform/linux/BlockProbe.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace mdi {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kHashedBytes = 64 * 1024;

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

// The first 64 KiB as read now; 0 when nothing could be read. Only told
// apart from another read of the same device, so any good hash will do.
// Read without read-ahead: the kernel would read four times as much, from
// a drive that may be failing, and drop it again when the descriptor
// closes, before the run reads the same sectors.
std::uint64_t contentHash(int fd) {
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  std::vector<char> buf(kHashedBytes);
  std::size_t got = 0;
  while (got < buf.size()) {
    const ssize_t n = ::pread(fd, buf.data() + got, buf.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return 0;
  const std::size_t h = std::hash<std::string_view>{}(std::string_view(buf.data(), got));
  return h == 0 ? 1 : static_cast<std::uint64_t>(h);
}

// The whole disk a block device belongs to: a partition's sysfs folder
// lies inside its disk's.
std::string wholeDiskOf(dev_t rdev, const std::string& node, const std::string& sysRoot) {
  const fs::path link =
      fs::path(sysRoot) / "dev" / "block" / (std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev)));
  std::error_code ec;
  const fs::path dir = fs::canonical(link, ec);
  if (ec) return node;
  if (!fs::exists(dir / "partition", ec)) return node;
  return "/dev/" + dir.parent_path().filename().string();
}

}  // namespace

std::optional<FileId> loopBackingFile(const std::string& node) {
  if (const Fd fd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)); fd.get() >= 0) {
    loop_info64 info{};
    if (::ioctl(fd.get(), LOOP_GET_STATUS64, &info) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info.lo_device), static_cast<std::uint64_t>(info.lo_inode)};
  }
  // A user who may not open the device: sysfs names the file as well.
  std::ifstream named(fs::path("/sys/class/block") / fs::path(node).filename() / "loop" / "backing_file");
  std::string path;
  if (!std::getline(named, path) || path.empty()) return std::nullopt;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<BlockDeviceInfo> probeBlockDevice(const std::string& path, const std::string& sysRoot) {
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  if (ec) return std::nullopt;
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
  const Fd fd(::open(real.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;

  BlockDeviceInfo info;
  info.node = real.string();
  info.rdev = static_cast<std::uint64_t>(st.st_rdev);
  std::uint64_t size = 0;
  if (::ioctl(fd.get(), BLKGETSIZE64, &size) == 0) info.identity.sizeBytes = size;
  int sector = 0;
  if (::ioctl(fd.get(), BLKSSZGET, &sector) == 0 && sector > 0)
    info.logicalSectorSize = static_cast<std::uint32_t>(sector);
  info.wholeDisk = wholeDiskOf(st.st_rdev, info.node, sysRoot);
  info.identity.loopBacking = loopBackingFile(info.wholeDisk);
  info.identity.contentHash = contentHash(fd.get());
  return info;
}

}  // namespace mdi
