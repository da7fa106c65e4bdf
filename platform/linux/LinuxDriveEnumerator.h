#pragma once
// Whole disks from sysfs (and udev for persistent ids), mount points from
// libmount. The sysfs root and the mount table can be pointed elsewhere so
// tests run on a fake tree.
#include <optional>
#include <string>
#include <vector>

#include "platform/DriveEnumerator.h"

namespace mdi {

class LinuxDriveEnumerator final : public DriveEnumerator {
 public:
  explicit LinuxDriveEnumerator(std::string sysRoot = "/sys",
                                std::string mountInfo = "/proc/self/mountinfo");

  std::vector<DriveRecord> drives() override;
  std::vector<int> drivesUnder(const std::string& path) override;

  // Device nodes (/dev/sdb) of the listed whole disks under the filesystem
  // holding `path`.
  std::vector<std::string> disksUnder(const std::string& path);
  // The record of one disk as it is now (number 0, no mount points);
  // nullopt when the node is not a listed disk any more.
  std::optional<DriveRecord> probe(const std::string& node);

  // Naming rule and order of the listing, exposed for tests.
  static bool isListedName(const std::string& name);
  static bool naturalLess(const std::string& a, const std::string& b);

 private:
  struct Impl;
  std::string m_sysRoot;
  std::string m_mountInfo;
};

}  // namespace mdi
