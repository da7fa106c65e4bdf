#pragma once
// Disks read through SG_IO pass-through by device node: the ones the sd
// driver lists with size 0 because of their 520/522/524/528-byte sectors.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/DriveEnumerator.h"
#include "platform/RawIo.h"
#include "platform/ScsiSource.h"

namespace mdi {

// What a disk answered when probed through pass-through.
struct ScsiProbe {
  std::optional<ScsiDiskInfo> info;  // nullopt: no answer
  // This user may not open the node to ask (root or the disk group may).
  bool denied = false;
};

// Opens `node` for pass-through and probes it (see probeScsiDisk). No
// answer when the node cannot be opened for SG_IO, or when it is not a
// disk with a known capacity.
ScsiProbe probeScsiDisk(const std::string& node);

// A source over the whole disk at `node`, sized by a fresh READ CAPACITY.
// Never null: a failure gives a FailedSource carrying the errno.
std::unique_ptr<Source> openScsiSource(const std::string& node, std::uint32_t maxTransferBlocks = 128);

// Fills the model, size and sector size of a drive record from a probe:
// model is "vendor product", size is block count times block length.
void applyScsiDiskInfo(DriveRecord& record, const ScsiDiskInfo& info);

}  // namespace mdi
