#pragma once
// Physical drives by number. Discovery fills the table once; drive numbers
// stay fixed for the window's life. A run opens drive N through it and asks
// first whether the node still holds the disk that discovery saw.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DeviceIdentity.h"
#include "platform/DriveEnumerator.h"
#include "platform/RawIo.h"

namespace mdi {

struct DriveIdentity {
  std::string node;  // /dev/sdb
  std::uint64_t sizeBytes = 0;
  std::string persistentId;                          // udev ID_WWN, ID_SERIAL, or the sysfs path
  std::optional<FileId> loopBacking = std::nullopt;  // what a loop device reads
};

class DriveTable {
 public:
  virtual ~DriveTable() = default;
  // The identity recorded for drive `number` at discovery.
  virtual std::optional<DriveIdentity> drive(int number) const = 0;
  // Empty when drive `number` is still the disk recorded at discovery;
  // otherwise the reason it is not (gone, other size, other id, a loop
  // device re-pointed, other first 64 KiB).
  virtual std::string checkUnchanged(int number) const = 0;
  // Opens drive `number` read-only (never null; see FileAccess). A source
  // that could not be opened says why (Source::openFailure).
  virtual std::unique_ptr<Source> openSource(int number) = 0;
  // A run begins: a refused request for access is asked again (once per
  // run), see DeviceOpener.
  virtual void beginRun() {}
  // Whole-disk device numbers (dev_t) of drive `number`, used to tell
  // whether a target folder lies on a source drive.
  virtual std::optional<std::uint64_t> deviceNumber(int number) const = 0;
  // Every whole disk under the filesystem holding `path` (partitions and
  // dm/md/loop devices followed down to their disks), as drive numbers.
  virtual std::vector<int> drivesUnder(const std::string& path) const = 0;
  // What discovery listed for drive `number` (model as reported, node,
  // serial, size, sector size), for the operator to tell drives apart;
  // nullopt when the table keeps no such record.
  virtual std::optional<DriveRecord> listedRecord(int /*number*/) const { return std::nullopt; }
  // Whether drive `number` is attached now: a detached drive keeps its
  // record (Run names it in its refusal) but is no longer listed.
  virtual bool isAttached(int number) const { return drive(number).has_value(); }
};

}  // namespace mdi
