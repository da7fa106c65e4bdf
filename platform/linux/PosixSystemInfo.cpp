#include "platform/linux/PosixSystemInfo.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace mdi {

std::string PosixSystemInfo::hostName() const {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;  // the last byte stays 0 even if the name was cut
}

std::chrono::system_clock::time_point PosixSystemInfo::now() const { return std::chrono::system_clock::now(); }

std::string PosixSystemInfo::homeFolder() const {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  // Started without a HOME (a service, `env -i`): the account's own entry.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(static_cast<std::size_t>(size > 0 ? size : 16384));
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) == ERANGE && buf.size() < (1u << 20))
    buf.resize(buf.size() * 2);
  return found && found->pw_dir ? found->pw_dir : "";
}

}  // namespace mdi
