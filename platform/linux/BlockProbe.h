#pragma once
// Reads what identifies a block device, through a read-only descriptor.
#include <optional>
#include <string>

#include "platform/DeviceIdentity.h"

namespace mdi {

// nullopt when path is not a block device or cannot be opened. The
// persistent id is left empty: udev is discovery's business. `sysRoot` is
// where the kernel's /sys is (tests never point it elsewhere for real nodes).
std::optional<BlockDeviceInfo> probeBlockDevice(const std::string& path, const std::string& sysRoot = "/sys");

// The backing file of loop device `node` (LOOP_GET_STATUS64; for a user
// who may not open the device, the file sysfs names), or nullopt when node
// is no loop device or has no file attached.
std::optional<FileId> loopBackingFile(const std::string& node);

}  // namespace mdi
