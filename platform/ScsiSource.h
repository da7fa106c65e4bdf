#pragma once
// A Source that reads a disk block by block through SCSI pass-through, for
// disks the kernel's disk driver leaves unsized (520, 522, 524, 528-byte
// sectors). Reads of any byte length are served from whole-block READ
// commands; the source keeps its own byte position.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/RawIo.h"
#include "platform/ScsiCommands.h"
#include "platform/ScsiTransport.h"

namespace mdi {

// Command timeouts: reads may take long on a drive that retries internally.
inline constexpr unsigned kScsiReadTimeoutMs = 60000;
inline constexpr unsigned kScsiQueryTimeoutMs = 10000;

// The source covers blockCount * blockLength bytes from LBA 0. Each command
// moves at most maxTransferBlocks blocks. A medium error fails the read with
// EIO after delivering every byte before the failing block.
std::unique_ptr<Source> makeScsiSource(std::unique_ptr<ScsiTransport> transport, std::uint64_t blockCount,
                                       std::uint32_t blockLength, std::uint32_t maxTransferBlocks = 128);

// READ CAPACITY(16), falling back to READ CAPACITY(10) when the device
// refuses it. nullopt when neither answers or the size does not fit.
std::optional<ScsiCapacity> readCapacity(ScsiTransport& transport);

// Standard INQUIRY data; nullopt when the device does not answer.
std::optional<ScsiInquiry> inquiry(ScsiTransport& transport);

// What a pass-through probe of a disk found.
struct ScsiDiskInfo {
  ScsiInquiry inquiry;
  ScsiCapacity capacity;
};

// INQUIRY then READ CAPACITY. nullopt unless the device is a connected
// direct-access block device (peripheral type 0, qualifier 0) with a known
// capacity.
std::optional<ScsiDiskInfo> probeScsiDisk(ScsiTransport& transport);

}  // namespace mdi
