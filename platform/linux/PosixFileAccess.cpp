#include "platform/linux/PosixFileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdi {
namespace {

class FdSource final : public Source {
 public:
  explicit FdSource(int fd) : m_fd(fd) {}
  ~FdSource() override { if (m_fd >= 0) ::close(m_fd); }
  FdSource(const FdSource&) = delete;
  FdSource& operator=(const FdSource&) = delete;

  IoResult read(std::span<std::byte> buf) override {
    IoResult r;
    while (r.bytes < buf.size()) {
      const ssize_t n = ::read(m_fd, buf.data() + r.bytes, buf.size() - r.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        break;
      }
      if (n == 0) break;  // end of data
      r.bytes += static_cast<std::size_t>(n);
    }
    return r;
  }

 private:
  int m_fd;
};

class FdOutput final : public Output {
 public:
  explicit FdOutput(int fd) : m_fd(fd) {}
  ~FdOutput() override { close(); }
  FdOutput(const FdOutput&) = delete;
  FdOutput& operator=(const FdOutput&) = delete;

  IoResult write(std::span<const std::byte> buf) override {
    IoResult r;
    if (m_fd < 0) return {0, EBADF};
    while (r.bytes < buf.size()) {
      const ssize_t n = ::write(m_fd, buf.data() + r.bytes, buf.size() - r.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        r.error = errno;
        break;
      }
      if (n == 0) { r.error = EIO; break; }
      r.bytes += static_cast<std::size_t>(n);
    }
    return r;
  }
  int resize(std::uint64_t size) override {
    if (m_fd < 0) return EBADF;
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }
  int seek(std::uint64_t offset) override {
    if (m_fd < 0) return EBADF;
    return ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset) ? 0 : errno;
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
