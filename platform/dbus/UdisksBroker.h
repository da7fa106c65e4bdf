#pragma once
// The broker of a desktop session: udisks2 opens the device over the
// system bus (org.freedesktop.UDisks2.Block.OpenDevice, mode "r") once
// polkit has the operator's consent, and hands the descriptor back.
#include "platform/DeviceBroker.h"

namespace mdi {

class UdisksBroker final : public DeviceBroker {
 public:
  // Any thread but the window's; a QCoreApplication must exist.
  Result openReadOnly(const std::string& node, bool direct) override;
};

// What an error reply of the bus, udisks2 or polkit means for the
// operator: its D-Bus error name and message.
DeviceBroker::Result udisksAnswerTo(const std::string& errorName, const std::string& message);

}  // namespace mdi
