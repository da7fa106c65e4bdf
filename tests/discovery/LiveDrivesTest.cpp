// The drive table follows drives attached and detached after start-up:
// numbers of drives still attached keep their meaning, new drives get new
// numbers, detached or changed ones are reported. On a fake sysfs tree, and
// on loop devices the test attaches (root only).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/sysmacros.h>

#include <optional>

#include "discovery/LinuxDriveTable.h"
#include "platform/linux/UdevMonitor.h"
#include "tests/TestDir.h"
#include "tests/discovery/FakeSysfs.h"
#include "tests/fakes/LoopDevice.h"

namespace mdi {
namespace {

class LiveDrivesSysfs : public FakeSysfsTest {
 protected:
  void SetUp() override {
    FakeSysfsTest::SetUp();
    disk("sda", "8:0", 1000);
    disk("sdb", "8:16", 2000);
    mounts("");
  }
};

TEST_F(LiveDrivesSysfs, DriveTableNoticesAChangedOrRemovedDisk) {
  LinuxDriveEnumerator e = enumerator();
  LinuxDriveTable table(e, e.drives());
  ASSERT_TRUE(table.drive(1).has_value());
  EXPECT_EQ(table.drive(1)->node, "/dev/sdb");
  EXPECT_EQ(table.drive(1)->sizeBytes, 2000u * 512);
  EXPECT_EQ(table.deviceNumber(0), static_cast<std::uint64_t>(makedev(8, 0)));
  EXPECT_EQ(table.checkUnchanged(0), "");
  EXPECT_EQ(table.checkUnchanged(1), "");

  put("sdb/size", "3000");  // another disk in the same slot
  EXPECT_EQ(table.checkUnchanged(1), "the drive at /dev/sdb has changed since it was listed (its size changed)");
  std::filesystem::remove_all(root / "block" / "sda");
  EXPECT_EQ(table.checkUnchanged(0), "the drive at /dev/sda is no longer attached");
  EXPECT_FALSE(table.checkUnchanged(7).empty());
  EXPECT_FALSE(table.drive(7).has_value());
  // Unknown drives open as a failed source, never null.
  auto src = table.openSource(7);
  ASSERT_NE(src, nullptr);
  std::byte b[16];
  EXPECT_TRUE(src->read(b).failed());
}

// What tells a listed medium from another one under the same node, each
// named in the refusal, in the order they are compared.
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
  EXPECT_EQ(with([](DeviceIdentity& d) { d.loopBacking = FileId{8, 13}; }), "the loop device now reads another file");
  EXPECT_EQ(with([](DeviceIdentity& d) { d.contentHash = 78; }), "its first 64 KiB changed");
}

TEST_F(LiveDrivesSysfs, NumbersKeepTheirMeaning) {
  LinuxDriveEnumerator e = enumerator();
  LinuxDriveTable table(e, e.drives());
  ASSERT_EQ(table.drive(0)->node, "/dev/sda");
  ASSERT_EQ(table.drive(1)->node, "/dev/sdb");
  EXPECT_TRUE(table.rescan().empty());

  // sda goes, sdc comes: sdc is drive 2 (not 1, though it is second now).
  std::filesystem::remove_all(root / "block" / "sda");
  disk("sdc", "8:32", 3000);
  DriveChanges c = table.rescan();
  EXPECT_EQ(c.detached, std::vector<int>{0});
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(c.attached[0].deviceId, "/dev/sdc");
  EXPECT_EQ(c.attached[0].number, 2);
  EXPECT_EQ(table.drive(1)->node, "/dev/sdb");
  EXPECT_EQ(table.drive(2)->node, "/dev/sdc");
  EXPECT_EQ(table.drivesUnder("/nowhere"), std::vector<int>{});

  // Another disk at sda's node is a new drive, never drive 0 again.
  disk("sda", "8:0", 5000);
  c = table.rescan();
  EXPECT_TRUE(c.detached.empty());
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(c.attached[0].number, 3);
  // Drive 0's job is still refused: its record now meets another disk.
  EXPECT_FALSE(table.checkUnchanged(0).empty());
  EXPECT_TRUE(table.checkUnchanged(3).empty());
}

class LiveDrivesLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
  // Attaches a new 8 MiB file `name` of the test's folder; returns its node.
  std::string attach(std::optional<LoopDevice>& loop, const std::string& name) {
    loop.emplace(sparseFile(dir.path / name, 8 << 20), LoopOptions{.readOnly = false});
    return loop->path().string();
  }
  ScratchDir dir{"mdi-liveloop-"};
  std::optional<LoopDevice> loopA, loopB;
};

// Other tests may attach loops meanwhile: only this test's own are looked at.
const DriveRecord* attachedAt(const DriveChanges& c, const std::string& node) {
  auto it =
      std::find_if(c.attached.begin(), c.attached.end(), [&](const DriveRecord& r) { return r.deviceId == node; });
  return it == c.attached.end() ? nullptr : &*it;
}
bool detached(const DriveChanges& c, int n) {
  return std::find(c.detached.begin(), c.detached.end(), n) != c.detached.end();
}

// The device monitor reports each attach and detach; the table follows.
TEST_F(LiveDrivesLoop, AttachedAndDetachedLoopsAreReportedAndFollowed) {
  UdevMonitor monitor;  // without device events here (netlink refused), only the table is followed
  monitor.takeEvents();
  auto expectEvent = [&](const std::string& what) {
    if (monitor.fd() < 0) return;
    pollfd p{monitor.fd(), POLLIN, 0};
    EXPECT_GT(::poll(&p, 1, 3000), 0) << "no event within 3 s of " << what;
    EXPECT_TRUE(monitor.takeEvents()) << what;
  };
  LinuxDriveEnumerator e;
  LinuxDriveTable table(e, e.drives());
  const std::string a = attach(loopA, "a.img");
  expectEvent("attaching " + a);
  DriveChanges c = table.rescan();
  const DriveRecord* ra = attachedAt(c, a);
  ASSERT_NE(ra, nullptr);
  const int na = ra->number;
  EXPECT_EQ(ra->model, "Loop " + dir / "a.img");

  const std::string b = attach(loopB, "b.img");
  c = table.rescan();
  const DriveRecord* rb = attachedAt(c, b);
  ASSERT_NE(rb, nullptr);
  const int nb = rb->number;
  EXPECT_GT(nb, na);
  EXPECT_EQ(attachedAt(c, a), nullptr);  // a keeps its number

  monitor.takeEvents();
  loopA.reset();
  expectEvent("detaching " + a);
  c = table.rescan();
  EXPECT_TRUE(detached(c, na));
  EXPECT_FALSE(detached(c, nb));
  EXPECT_EQ(table.drive(nb)->node, b);
  EXPECT_FALSE(table.checkUnchanged(na).empty());
  EXPECT_TRUE(table.checkUnchanged(nb).empty());
}

}  // namespace
}  // namespace mdi
