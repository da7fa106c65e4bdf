#pragma once
// SCSI pass-through over the Linux SG_IO ioctl, on a disk node (/dev/sdb) or
// its generic node (/dev/sg1). Used for disks the disk driver will not size,
// such as those formatted with 520 or 528-byte sectors.
#include <memory>
#include <string>

#include "platform/ScsiTransport.h"

namespace mdi {

// Opens `path` read-only (O_RDONLY | O_NONBLOCK | O_CLOEXEC) and checks that
// it answers SG_IO. Returns nullptr with errno set on failure (ENOTTY for a
// node that is not a SCSI pass-through device).
std::unique_ptr<ScsiTransport> openSgTransport(const std::string& path);

}  // namespace mdi
