#include "platform/linux/SysfsAttributes.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "support/LineText.h"

namespace mdi {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxAttr = 4096;

std::string message(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace

SysfsText readSysfsText(const fs::path& p) {
  const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {{}, errno == ENOENT ? std::string() : message(errno)};
  std::string s;
  char buf[kMaxAttr];
  int err = 0;
  while (s.size() < kMaxAttr) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    s.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (err != 0) return {{}, message(err)};
  if (s.size() > kMaxAttr) s.resize(kMaxAttr);
  // Control bytes would only garble the grid.
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n') c = ' ';
  return {trimSpace(s), {}};
}

std::optional<std::uint64_t> parseSysfsNumber(const std::string& text) {
  std::uint64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

std::optional<std::uint64_t> parseDeviceNumber(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const auto maj = parseSysfsNumber(text.substr(0, colon));
  const auto min = parseSysfsNumber(text.substr(colon + 1));
  if (!maj || !min || *maj > 0xFFFFFFFFu || *min > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint64_t>(makedev(static_cast<unsigned>(*maj), static_cast<unsigned>(*min)));
}

SysfsListing listSysfs(const fs::path& dir) {
  SysfsListing out;
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) out.names.push_back(it->path().filename().string());
  if (ec && ec != std::errc::no_such_file_or_directory) out.error = ec.message();
  std::sort(out.names.begin(), out.names.end());
  return out;
}

}  // namespace mdi
