#include "tests/fakes/LoopDevice.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/linux/SysfsAttributes.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

std::string sysfs(const std::string& name, const std::string& attr) {
  return readSysfsText("/sys/block/" + name + "/" + attr).text;
}

struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

[[noreturn]] void fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

std::string rootDeviceUnavailable(const char* device, const char* purpose) {
  if (::geteuid() != 0) return std::string(purpose) + " needs root";
  const Fd fd(::open(device, O_RDWR | O_CLOEXEC));
  if (fd.fd < 0) return std::string("cannot open ") + device + ": " + std::strerror(errno);
  return {};
}

std::string LoopDevice::unavailableReason() {
  return rootDeviceUnavailable("/dev/loop-control", "attaching loop devices");
}

LoopDevice::LoopDevice(const fs::path& file, std::uint32_t blockSize) {
  Fd control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
  if (control.fd < 0) fail(errno, "open /dev/loop-control");
  const int access = O_RDONLY | O_CLOEXEC;
  Fd backing(::open(file.c_str(), access));
  if (backing.fd < 0) fail(errno, "open " + file.string());

  loop_config config{};
  config.fd = static_cast<std::uint32_t>(backing.fd);
  config.block_size = blockSize;
  config.info.lo_flags = LO_FLAGS_READ_ONLY;
  std::strncpy(reinterpret_cast<char*>(config.info.lo_file_name), file.c_str(), LO_NAME_SIZE - 1);

  // Another process may take the free device between asking and attaching.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int n = ::ioctl(control.fd, LOOP_CTL_GET_FREE);
    if (n < 0) fail(errno, "LOOP_CTL_GET_FREE");
    const fs::path node = "/dev/loop" + std::to_string(n);
    Fd loop(::open(node.c_str(), access));
    for (int i = 0; i < 50 && loop.fd < 0 && errno == ENOENT; ++i) {  // devtmpfs may lag
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      loop.fd = ::open(node.c_str(), access);
    }
    if (loop.fd < 0) fail(errno, "open " + node.string());
    if (::ioctl(loop.fd, LOOP_CONFIGURE, &config) == 0) {
      m_path = node;
      return;
    }
    if (errno != EBUSY) fail(errno, "LOOP_CONFIGURE " + node.string());
  }
  fail(EBUSY, "no free loop device");
}

LoopDevice::~LoopDevice() {
  if (const Fd loop(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC)); loop.fd >= 0) ::ioctl(loop.fd, LOOP_CLR_FD);
  // The detach completes when the last opener closes; until then the device
  // keeps the backing file open and its filesystem busy.
  for (int i = 0; i < 1000 && !sysfs(m_path.filename(), "loop/backing_file").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::vector<std::string> loopDevicesUnder(const fs::path& folder) {
  std::vector<std::string> out;
  const std::string prefix = folder.string() + "/";
  for (const std::string& name : listSysfs("/sys/block").names)
    if (name.starts_with("loop") && sysfs(name, "loop/backing_file").starts_with(prefix)) out.push_back(name);
  return out;
}

}  // namespace mdi
