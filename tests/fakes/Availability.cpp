#include "tests/fakes/Availability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mdi {

std::string rootDeviceUnavailable(const char* device, const char* purpose) {
  if (::geteuid() != 0) return std::string(purpose) + " needs root";
  const int fd = ::open(device, O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open ") + device + ": " + std::strerror(errno);
  ::close(fd);
  return {};
}

}  // namespace mdi
