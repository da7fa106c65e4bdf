#pragma once
// What ties a path or a drive number to one particular file or medium, so
// that refusals compare the things themselves and not the names they go by.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace mdi {

// A file as the kernel knows it: the same (device, inode) is the same file,
// whatever path, hard link, symlink or bind mount reached it.
struct FileId {
  std::uint64_t dev = 0;
  std::uint64_t ino = 0;
  friend auto operator<=>(const FileId&, const FileId&) = default;
};

// What pins a block device to the medium that was listed: a device node
// can be re-pointed (a loop device to another file) or given to another
// disk while the window is open.
struct DeviceIdentity {
  std::uint64_t sizeBytes = 0;
  std::string persistentId;           // WWN or serial; "" when the device has none
  std::optional<FileId> loopBacking;  // backing file of a loop device (or of its whole disk)
  std::uint64_t contentHash = 0;      // hash of the first 64 KiB; 0 when they could not be read
};

// "" when `now` is the medium that was `listed`; otherwise what differs, as
// a phrase for a message ("its size changed").
std::string identityChange(const DeviceIdentity& listed, const DeviceIdentity& now);

// A block device opened by path: a whole disk or a partition.
struct BlockDeviceInfo {
  std::string node;        // the path, symlinks resolved (/dev/sdb1)
  std::uint64_t rdev = 0;  // its device number
  std::uint32_t logicalSectorSize = 0;
  std::string wholeDisk;  // node of the disk it is part of (itself for a disk)
  DeviceIdentity identity;
};

}  // namespace mdi
