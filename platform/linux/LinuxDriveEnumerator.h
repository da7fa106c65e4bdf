#pragma once
// Whole disks from sysfs (and udev for persistent ids), and the disks under
// a folder through sysfs and, for filesystems without a block device of
// their own, libmount. The sysfs root and the mount table can be pointed
// elsewhere so tests run on a fake tree.
#include <optional>
#include <string>
#include <vector>

#include <functional>

#include "platform/DriveEnumerator.h"
#include "platform/linux/ScsiDisk.h"

namespace mdi {

class LinuxDriveEnumerator final : public DriveEnumerator {
 public:
  explicit LinuxDriveEnumerator(std::string sysRoot = "/sys", std::string mountInfo = "/proc/self/mountinfo");

  // Every listed disk, as far as it could be read: what could not be read
  // is noted on its record, and the disk stays listed.
  std::vector<DriveRecord> drives() override;
  // When anything on the way from `path` down to its disks cannot be read
  // (an attribute, a member list, the mount table), the answer says so.
  DrivesUnder drivesUnder(const std::string& path) override;

  // Device nodes (/dev/sdb) of the listed whole disks under the filesystem
  // holding `path`, and why some may be missing ("" when none may).
  struct DisksUnder {
    std::vector<std::string> nodes;
    std::string failure;
  };
  DisksUnder disksUnder(const std::string& path);
  // The record of one disk as it is now (number 0, no mount points);
  // nullopt when the node is not a listed disk any more.
  std::optional<DriveRecord> probe(const std::string& node);

  // Naming rule and order of the listing, exposed for tests.
  // Asks a SCSI disk that the disk driver left at size 0 for its real
  // capacity. The default probes the node through pass-through when the
  // real /sys is read; tests hand in a simulated answer.
  using ScsiProber = std::function<ScsiProbe(const std::string& node)>;
  void setScsiProber(ScsiProber p) { m_prober = std::move(p); }

  // Reads one udev property of a block device by kernel name ("" when
  // unknown). The default asks libudev when the real /sys is read; tests
  // hand in their own answers.
  using UdevProperty = std::function<std::string(const std::string& name, const std::string& key)>;
  void setUdevProperty(UdevProperty p) { m_udevProperty = std::move(p); }

  static bool isListedName(const std::string& name);
  static bool naturalLess(const std::string& a, const std::string& b);

 private:
  struct Impl;
  std::string m_sysRoot;
  std::string m_mountInfo;
  ScsiProber m_prober;
  UdevProperty m_udevProperty;
};

}  // namespace mdi
