// The drive table follows drives attached and detached after start-up:
// numbers of drives still attached keep their meaning, new drives get new
// numbers, detached or changed ones are reported. On a fake sysfs tree (the
// loop device tests follow a real drive).
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <utility>

#include "discovery/LinuxDriveTable.h"
#include "tests/discovery/FakeSysfs.h"

namespace mdi {
namespace {

TEST_F(FakeSysfsTest, DriveTableKeepsNumbersAndNoticesChangedOrRemovedDisks) {
  disk("sda", "8:0", 1000);
  disk("sdb", "8:16", 2000);
  mounts("");
  LinuxDriveEnumerator e = enumerator();
  LinuxDriveTable table(e, e.drives());
  ASSERT_TRUE(table.drive(1).has_value());
  EXPECT_EQ(std::pair(table.drive(1)->node, table.drive(1)->sizeBytes),
            std::pair(std::string("/dev/sdb"), 2000ul * 512));
  EXPECT_EQ(table.deviceNumber(0), static_cast<std::uint64_t>(makedev(8, 0)));
  EXPECT_EQ(table.checkUnchanged(0), "");
  EXPECT_TRUE(table.rescan().empty());
  // Unknown drives are refused, and open as a failed source, never null.
  EXPECT_FALSE(table.checkUnchanged(7).empty());
  EXPECT_FALSE(table.drive(7).has_value());
  auto src = table.openSource(7);
  ASSERT_NE(src, nullptr);
  std::byte b[16];
  EXPECT_TRUE(src->read(b).failed());

  // sda goes, sdc comes: sdc is drive 2 (not 1, though it is second now).
  std::filesystem::remove_all(root / "block" / "sda");
  disk("sdc", "8:32", 3000);
  EXPECT_EQ(table.checkUnchanged(0), "the drive at /dev/sda is no longer attached");
  DriveChanges c = table.rescan();
  EXPECT_EQ(c.detached, std::vector<int>{0});
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(std::pair(c.attached[0].deviceId, c.attached[0].number), std::pair(std::string("/dev/sdc"), 2));
  EXPECT_EQ(table.drive(1)->node, "/dev/sdb");
  EXPECT_EQ(table.drive(2)->node, "/dev/sdc");

  // Another disk at sda's node is a new drive, never drive 0 again; drive
  // 0's job is still refused: its record now meets another disk.
  disk("sda", "8:0", 5000);
  c = table.rescan();
  EXPECT_TRUE(c.detached.empty());
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(c.attached[0].number, 3);
  EXPECT_FALSE(table.checkUnchanged(0).empty());
  EXPECT_TRUE(table.checkUnchanged(3).empty());

  put("sdb/size", "3000");  // another disk in sdb's slot
  EXPECT_EQ(table.checkUnchanged(1), "the drive at /dev/sdb has changed since it was listed (its size changed)");
}

// What tells a listed medium from another one under the same node, each
// named in the refusal, in the order they are compared. (Another file behind
// a loop device is the loop device tests'.)
TEST(IdentityChange, NamesWhatDiffers) {
  const DeviceIdentity listed{1 << 20, "wwn-0x5000", FileId{8, 12}, 77};
  const auto with = [&](auto change) {
    DeviceIdentity now = listed;
    change(now);
    return identityChange(listed, now);
  };
  EXPECT_EQ(identityChange(listed, listed), "");
  EXPECT_EQ(with([](DeviceIdentity& d) { d.sizeBytes += 512, d.persistentId = "x"; }), "its size changed");
  EXPECT_EQ(with([](DeviceIdentity& d) { d.persistentId = "wwn-0x5001"; }),
            "it is another disk (serial or WWN changed)");
  EXPECT_EQ(with([](DeviceIdentity& d) { d.contentHash = 78; }), "its first 64 KiB changed");
}

}  // namespace
}  // namespace mdi
