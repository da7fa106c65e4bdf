#include "platform/linux/PosixFileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdi {
namespace {

// Whether the descriptor has a position of its own that pread/pwrite can
// address (files, block devices); pipes and the like are read in order.
bool seekable(int fd) { return ::lseek(fd, 0, SEEK_CUR) >= 0; }

// The byte position is kept here rather than in the descriptor, so reads
// issued by the caller at explicit offsets and reads made here agree.
class FdSource final : public Source {
 public:
  explicit FdSource(int fd) : m_fd(fd), m_seekable(seekable(fd)) {}
  ~FdSource() override { if (m_fd >= 0) ::close(m_fd); }
  FdSource(const FdSource&) = delete;
  FdSource& operator=(const FdSource&) = delete;

  IoResult read(std::span<std::byte> buf) override {
    IoResult r;
    while (r.bytes < buf.size()) {
      const ssize_t n = m_seekable
                            ? ::pread(m_fd, buf.data() + r.bytes, buf.size() - r.bytes, static_cast<off_t>(m_pos))
                            : ::read(m_fd, buf.data() + r.bytes, buf.size() - r.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        break;
      }
      if (n == 0) break;  // end of data
      r.bytes += static_cast<std::size_t>(n);
      m_pos += static_cast<std::uint64_t>(n);
    }
    return r;
  }
  std::optional<Positioned> positionedRead(std::size_t) override {
    if (!m_seekable) return std::nullopt;
    return Positioned{m_fd, m_pos, 0};
  }
  void advance(std::size_t bytes) override { m_pos += bytes; }

 private:
  int m_fd;
  bool m_seekable;
  std::uint64_t m_pos = 0;
};

class FdOutput final : public Output {
 public:
  explicit FdOutput(int fd) : m_fd(fd), m_seekable(seekable(fd)) {}
  ~FdOutput() override { close(); }
  FdOutput(const FdOutput&) = delete;
  FdOutput& operator=(const FdOutput&) = delete;

  IoResult write(std::span<const std::byte> buf) override {
    IoResult r;
    if (m_fd < 0) return {0, EBADF};
    while (r.bytes < buf.size()) {
      const ssize_t n = m_seekable
                            ? ::pwrite(m_fd, buf.data() + r.bytes, buf.size() - r.bytes, static_cast<off_t>(m_pos))
                            : ::write(m_fd, buf.data() + r.bytes, buf.size() - r.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        break;
      }
      if (n == 0) { r.error = EIO; break; }
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

std::unique_ptr<Source> makeFdSource(int fd) { return std::make_unique<FdSource>(fd); }

std::unique_ptr<Source> PosixFileAccess::openSource(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::make_unique<FailedSource>(errno);
  return makeFdSource(fd);
}

std::unique_ptr<Output> PosixFileAccess::createOutput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return std::make_unique<FailedOutput>(errno);
  return std::make_unique<FdOutput>(fd);
}

std::unique_ptr<Output> PosixFileAccess::reopenOutput(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return std::make_unique<FailedOutput>(errno);
  return std::make_unique<FdOutput>(fd);
}

}  // namespace mdi
