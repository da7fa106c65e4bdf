#pragma once
// The physical disks of the machine as discovery sees them: one record per
// whole disk, numbered by its place in the natural order of kernel names.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DeviceIdentity.h"

namespace mdi {

struct DriveRecord {
  int number = 0;          // position in discovery's list of whole disks
  std::string deviceId;    // device node, /dev/sdb
  std::string model;       // vendor and model, as the device reports them
  std::uint64_t size = 0;  // bytes
  std::uint32_t bytesPerSector = 0;
  std::string pnpDeviceId;      // persistent id: WWN, serial, or sysfs path
  std::string serial;           // serial number as reported; "" when none
  bool mediaPresent = false;    // false: removable device without a medium
  std::uint64_t devNumber = 0;  // dev_t of the whole disk
  // Read through SCSI pass-through: a disk whose sectors (520, 528 bytes...)
  // the disk driver does not take, so the block device shows size 0.
  bool passThrough = false;
  // Such a disk that this user may not send commands to (root or the disk
  // group may): listed, at size 0, so the operator learns why it cannot be
  // imaged; Run refuses it.
  bool passThroughDenied = false;
  // Listed in the drive grid: sized, or a pass-through disk denied to us.
  bool listable() const { return (mediaPresent && size > 0) || passThroughDenied; }
  // T10 protection type (1 to 3) the disk reports in READ CAPACITY(16);
  // 0 when it has none or does not say.
  int protectionType = 0;
  // Read from the device itself, for telling at Run that the node still
  // holds this medium; empty for trees that are not the live system's.
  std::optional<FileId> loopBacking;
  std::uint64_t contentHash = 0;
  // What could not be read of the drive or decided about it, one sentence
  // each; shown in its tip. The record holds whatever else was read.
  std::vector<std::string> notes;
  // The id a record of an image names its source by: the WWN where there
  // is one (a sysfs path is none), else the serial.
  std::string recordedId() const { return !pnpDeviceId.empty() && pnpDeviceId.front() != '/' ? pnpDeviceId : serial; }
};

// The part of a record that pins it to its medium.
inline DeviceIdentity identityOf(const DriveRecord& r) { return {r.size, r.pnpDeviceId, r.loopBacking, r.contentHash}; }

// The drives under a folder's filesystem. When something on the way could
// not be read, `failure` says what, and drives under it may be missing from
// `numbers`.
struct DrivesUnder {
  std::vector<int> numbers;
  std::string failure;  // "" when the answer is whole
};

class DriveEnumerator {
 public:
  virtual ~DriveEnumerator() = default;
  virtual std::vector<DriveRecord> drives() = 0;
  // Drive numbers of the whole disks under the filesystem holding `path`.
  virtual DrivesUnder drivesUnder(const std::string& path) = 0;
};

}  // namespace mdi
