#include "platform/linux/PosixSystemInfo.h"

#include <limits.h>
#include <unistd.h>

namespace mdi {

std::string PosixSystemInfo::hostName() const {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;  // the last byte stays 0 even if the name was cut
}

std::chrono::system_clock::time_point PosixSystemInfo::now() const { return std::chrono::system_clock::now(); }

}  // namespace mdi
