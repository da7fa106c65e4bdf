#include "platform/linux/SgTransport.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace mdi {

namespace {

class SgTransport final : public ScsiTransport {
 public:
  explicit SgTransport(int fd) : m_fd(fd) {}
  ~SgTransport() override { ::close(m_fd); }
  SgTransport(const SgTransport&) = delete;
  SgTransport& operator=(const SgTransport&) = delete;

  ScsiResult execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, unsigned timeoutMs) override {
    ScsiResult result;
    if (cdb.empty() || cdb.size() > 255) {
      result.osError = EINVAL;
      return result;
    }
    std::array<std::uint8_t, 252> sense{};
    sg_io_hdr_t hdr{};
    hdr.interface_id = 'S';
    hdr.dxfer_direction = dataIn.empty() ? SG_DXFER_NONE : SG_DXFER_FROM_DEV;
    hdr.cmd_len = static_cast<unsigned char>(cdb.size());
    // The kernel only reads the CDB; the field is not const-qualified.
    hdr.cmdp = const_cast<unsigned char*>(cdb.data());
    hdr.dxferp = dataIn.data();
    hdr.dxfer_len = static_cast<unsigned int>(dataIn.size());
    hdr.sbp = sense.data();
    hdr.mx_sb_len = static_cast<unsigned char>(sense.size());
    hdr.timeout = timeoutMs;
    int rc;
    do { rc = ::ioctl(m_fd, SG_IO, &hdr); } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
      result.osError = errno;
      return result;
    }
    result.status = hdr.status;
    result.hostStatus = hdr.host_status;
    result.driverStatus = hdr.driver_status;
    result.sense.assign(sense.begin(), sense.begin() + hdr.sb_len_wr);
    const int resid = hdr.resid < 0 ? 0 : hdr.resid;
    result.transferred =
        static_cast<std::size_t>(resid) >= dataIn.size() ? 0 : dataIn.size() - static_cast<std::size_t>(resid);
    return result;
  }

 private:
  int m_fd;
};

}  // namespace

std::unique_ptr<ScsiTransport> openSgTransport(const std::string& path) {
  int fd;
  do { fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  int version = 0;
  if (::ioctl(fd, SG_GET_VERSION_NUM, &version) < 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return nullptr;
  }
  if (version < 30000) {
    ::close(fd);
    errno = ENOTTY;
    return nullptr;
  }
  return std::make_unique<SgTransport>(fd);
}

}  // namespace mdi
