#include "platform/linux/DeviceOpener.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/linux/PosixFileAccess.h"

namespace mdi {

std::unique_ptr<Source> DeviceOpener::open(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return makeFdSource(fd);
  const int error = errno;
  if ((error != EACCES && error != EPERM) || !m_broker) {
    return std::make_unique<FailedSource>(error, openFailureText(node, error));
  }
  const std::lock_guard lock(m_asking);
  if (m_refused) return std::make_unique<FailedSource>(EACCES, refusalText(node, *m_refused));
  const DeviceBroker::Result r = m_broker->openReadOnly(node, false);
  switch (r.answer) {
    case DeviceBroker::Answer::Opened: {
      // A re-read past the page cache needs a descriptor of its own, which
      // only the broker can give this user.
      FdOrigin origin{SourceAccess::Udisks2, [broker = m_broker, node] {
                        const DeviceBroker::Result direct = broker->openReadOnly(node, true);
                        if (direct.fd < 0) errno = EACCES;
                        return direct.fd;
                      }};
      return makeFdSource(r.fd, std::move(origin));
    }
    case DeviceBroker::Answer::Refused:
    case DeviceBroker::Answer::Unavailable:
      m_refused = r;
      break;
    case DeviceBroker::Answer::Failed:
      break;
  }
  return std::make_unique<FailedSource>(EACCES, refusalText(node, r));
}

void DeviceOpener::beginRun() {
  const std::lock_guard lock(m_asking);
  m_refused.reset();
}

std::string DeviceOpener::refusalText(const std::string& node, const DeviceBroker::Result& r) {
  const std::string detail = r.detail.empty() ? "" : ": " + r.detail;
  switch (r.answer) {
    case DeviceBroker::Answer::Refused:
      return "access to " + node + " was refused" + detail;
    case DeviceBroker::Answer::Unavailable:
      return "access to " + node + " could not be asked for" + detail;
    case DeviceBroker::Answer::Opened:
    case DeviceBroker::Answer::Failed:
      break;
  }
  return "udisks2 could not open " + node + detail;
}

}  // namespace mdi
