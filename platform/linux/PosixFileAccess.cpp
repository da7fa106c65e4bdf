#include "platform/linux/PosixFileAccess.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace mdi {
namespace {

// Whether the descriptor has a position of its own that pread/pwrite can
// address (files, block devices); pipes and the like are read in order.
bool seekable(int fd) { return ::lseek(fd, 0, SEEK_CUR) >= 0; }

// Whether reads of the descriptor may be queued to the kernel (io_uring):
// block devices, and files of the local file systems whose non-blocking
// reads are known to behave. Files of FUSE and network file systems are
// read with read() on the job's thread instead: FUSE without asynchronous
// direct I/O blocks the submitting thread for as long as a read takes,
// and its short reads through io_uring have returned bytes that are not
// the file's (seen on 6.18, tests/faultdev).
bool queueable(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  if (S_ISBLK(st.st_mode)) return true;
  if (!S_ISREG(st.st_mode)) return false;
  struct statfs fsInfo {};
  if (::fstatfs(fd, &fsInfo) != 0) return false;
  switch (static_cast<unsigned long>(fsInfo.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

// The byte position is kept here rather than in the descriptor, so reads
// issued by the caller at explicit offsets and reads made here agree.
class FdSource final : public Source {
 public:
  FdSource(int fd, FdOrigin origin)
      : m_fd(fd), m_seekable(seekable(fd)), m_queueable(m_seekable && queueable(fd)), m_origin(std::move(origin)) {}
  ~FdSource() override {
    if (m_fd >= 0) ::close(m_fd);
    if (m_direct >= 0) ::close(m_direct);
  }
  FdSource(const FdSource&) = delete;
  FdSource& operator=(const FdSource&) = delete;

  IoResult read(std::span<std::byte> buf) override {
    if (m_direct >= 0) return readDirect(buf);
    IoResult r;
    while (r.bytes < buf.size()) {
      const ssize_t n = m_seekable
                            ? ::pread(m_fd, buf.data() + r.bytes, buf.size() - r.bytes, static_cast<off_t>(m_pos))
                            : ::read(m_fd, buf.data() + r.bytes, buf.size() - r.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        // The rest of this read, and every later one, bypass the page cache.
        if (enterDirectMode()) {
          IoResult rest = readDirect(buf.subspan(r.bytes));
          rest.bytes += r.bytes;
          return rest;
        }
        break;
      }
      if (n == 0) break;  // end of data
      r.bytes += static_cast<std::size_t>(n);
      m_pos += static_cast<std::uint64_t>(n);
    }
    return r;
  }
  std::optional<Positioned> positionedRead(std::size_t) override {
    // Past the cache only read() goes: m_fd would be read through it.
    if (!m_queueable || m_direct >= 0) return std::nullopt;
    return Positioned{m_fd, m_pos, 0};
  }
  void advance(std::size_t bytes) override { m_pos += bytes; }
  bool seek(std::uint64_t offset) override {
    if (!m_seekable) return false;
    m_pos = offset;
    return true;
  }
  void readPastCache() override {
    if (m_direct < 0) enterDirectMode();
  }
  SourceAccess access() const override { return m_origin.access; }

 private:
  // A disk that failed a read is read past the page cache from then on.
  // Through the cache a small read is served from a large cached page or a
  // read-ahead window, and fails whole for a bad sector further on; a
  // direct read asks the disk for exactly the blocks it covers. The new
  // descriptor is read-only too. False for anything but a block device.
  bool enterDirectMode() {
    struct stat st {};
    if (!m_seekable || ::fstat(m_fd, &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    if (m_origin.openDirect) {
      m_direct = m_origin.openDirect();
    } else {
      const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
      m_direct = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    }
    if (m_direct < 0) return false;
    int block = 0;
    if (::ioctl(m_direct, BLKSSZGET, &block) != 0 || block <= 0) block = 4096;
    m_block = static_cast<std::size_t>(block);
    return true;
  }
  // Reads through the direct descriptor: the blocks covering the request
  // into an aligned buffer, then the bytes asked for. A failing block fails
  // the piece it is in, and what came before it is kept.
  IoResult readDirect(std::span<std::byte> buf) {
    IoResult r;
    constexpr std::size_t kPiece = 64 * 1024;
    while (r.bytes < buf.size()) {
      const std::uint64_t from = m_pos / m_block * m_block;
      const std::size_t skip = static_cast<std::size_t>(m_pos - from);
      const std::size_t want = std::min(buf.size() - r.bytes, kPiece - skip);
      const std::size_t span = (skip + want + m_block - 1) / m_block * m_block;
      if (!m_bounce) m_bounce.reset(static_cast<std::byte*>(std::aligned_alloc(4096, kPiece + 4096)));
      ssize_t n = -1;
      do n = ::pread(m_direct, m_bounce.get(), span, static_cast<off_t>(from));
      while (n < 0 && errno == EINTR);
      if (n < 0) {
        r.error = errno;
        break;
      }
      const std::size_t got =
          static_cast<std::size_t>(n) > skip ? std::min(want, static_cast<std::size_t>(n) - skip) : 0;
      std::memcpy(buf.data() + r.bytes, m_bounce.get() + skip, got);
      r.bytes += got;
      m_pos += got;
      if (got < want) break;  // end of the device
    }
    return r;
  }
  struct FreeDeleter {
    void operator()(std::byte* p) const { std::free(p); }
  };

  int m_fd;
  bool m_seekable;
  bool m_queueable;
  std::uint64_t m_pos = 0;
  FdOrigin m_origin;
  int m_direct = -1;
  std::size_t m_block = 512;
  std::unique_ptr<std::byte, FreeDeleter> m_bounce;
};

class FdOutput final : public Output {
  // Larger steps are written in calls of at most this much: a buffered
  // write of 256 KiB or more to ext4 took twice the CPU per byte of 128 KiB
  // calls, and a quarter more time (dd ibs=1M obs=128K against obs=1M, the
  // same data).
  static constexpr std::size_t kWritePiece = 128 * 1024;

 public:
  explicit FdOutput(int fd) : m_fd(fd), m_seekable(seekable(fd)) {}
  ~FdOutput() override { close(); }
  FdOutput(const FdOutput&) = delete;
  FdOutput& operator=(const FdOutput&) = delete;

  std::function<int()> flusher() override {
    const int fd = m_fd < 0 ? -1 : ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return [error = m_fd < 0 ? EBADF : errno] { return error; };
    const auto owned = std::shared_ptr<int>(new int(fd), [](int* p) {
      ::close(*p);
      delete p;
    });
    return [owned] { return ::fdatasync(*owned) == 0 ? 0 : errno; };
  }

  IoResult write(std::span<const std::byte> buf) override {
    IoResult r;
    if (m_fd < 0) return {0, EBADF};
    while (r.bytes < buf.size()) {
      const std::size_t piece = std::min(buf.size() - r.bytes, kWritePiece);
      const ssize_t n = m_seekable ? ::pwrite(m_fd, buf.data() + r.bytes, piece, static_cast<off_t>(m_pos))
                                   : ::write(m_fd, buf.data() + r.bytes, piece);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        break;
      }
      if (n == 0) {
        r.error = EIO;
        break;
      }
      r.bytes += static_cast<std::size_t>(n);
      m_pos += static_cast<std::uint64_t>(n);
    }
    return r;
  }
  std::optional<Positioned> positionedWrite(std::size_t) override {
    if (m_fd < 0 || !m_seekable) return std::nullopt;
    return Positioned{m_fd, m_pos, 0};
  }
  void advance(std::size_t bytes) override { m_pos += bytes; }
  int resize(std::uint64_t size) override {
    if (m_fd < 0) return EBADF;
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }
  int seek(std::uint64_t offset) override {
    if (m_fd < 0) return EBADF;
    if (!m_seekable) return ESPIPE;
    m_pos = offset;
    return 0;
  }
  int close() override {
    if (m_fd < 0) return 0;
    int err = 0;
    if (::fdatasync(m_fd) != 0) err = errno;
    if (::close(m_fd) != 0 && err == 0 && errno != EINTR) err = errno;
    m_fd = -1;
    return err;
  }

 private:
  int m_fd;
  bool m_seekable;
  std::uint64_t m_pos = 0;
};

}  // namespace

std::unique_ptr<Source> makeFdSource(int fd, FdOrigin origin) {
  return std::make_unique<FdSource>(fd, std::move(origin));
}

std::unique_ptr<Source> PosixFileAccess::openSource(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return std::make_unique<FailedSource>(error, openFailureText(path, error));
  }
  return makeFdSource(fd);
}

std::unique_ptr<Output> PosixFileAccess::createOutput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return std::make_unique<FailedOutput>(errno);
  return std::make_unique<FdOutput>(fd);
}

std::unique_ptr<Output> PosixFileAccess::reopenOutput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::make_unique<FailedOutput>(errno);
  return std::make_unique<FdOutput>(fd);
}

}  // namespace mdi
