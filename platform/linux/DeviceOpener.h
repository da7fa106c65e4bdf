#pragma once
// Opens the drives of a run read-only: by itself where the user may open
// the device node (root, the disk group, a node the user owns), else
// through the broker, which may ask the operator for a password.
//
// One prompt per run at most: opens are asked one at a time, so a granted
// password covers the drives that follow (polkit keeps it for a while),
// and once the broker has refused or is not there, the rest of the run's
// drives that need it are refused with the same answer, unasked.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/DeviceBroker.h"
#include "platform/RawIo.h"

namespace mdi {

class DeviceOpener {
 public:
  // broker may be null: direct opens only.
  explicit DeviceOpener(DeviceBroker* broker) : m_broker(broker) {}
  // Never null: a FailedSource says why the node could not be opened.
  std::unique_ptr<Source> open(const std::string& node);
  // A new run begins: a broker that refused is asked again, once.
  void beginRun();
  // The status phrase for a broker's answer other than Opened: "access to
  // /dev/sdb was refused", "... was refused: the password prompt was
  // cancelled", "access to /dev/sdb could not be asked for: udisks2 is not
  // running".
  static std::string refusalText(const std::string& node, const DeviceBroker::Result& r);

 private:
  DeviceBroker* m_broker;
  std::mutex m_asking;                            // one question to the broker at a time
  std::optional<DeviceBroker::Result> m_refused;  // this run's refusal, or the broker found gone
};

}  // namespace mdi
