// Discovery against a real loop device: a 64 MiB image with one ext4
// partition, attached and mounted by the test and always taken down again.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <fstream>
#include <optional>

#include "discovery/LinuxDriveTable.h"
#include "tests/LoopFiles.h"
#include "tests/TestDir.h"
#include "tests/discovery/FakeSysfs.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;
using test::shell;

class LoopDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopFiles::skipReason(); !why.empty()) GTEST_SKIP() << why;
    loops.emplace(testDir("mdi-loop-"));
    image = loops->file("disk.img");
    mountDir = loops->file("mnt");
    fs::create_directories(mountDir);
    ASSERT_EQ(shell("truncate -s 64M " + image + " && echo 'label: dos\n,,L' | sfdisk -q " + image).exitCode, 0);
    loop = loops->attach("disk.img", 64, "-P");  // the same size: the partition table stays
    if (loop.empty()) GTEST_SKIP() << "losetup could not attach the image";
    // Without udev the partition node may be missing; make it from sysfs.
    const std::string name = loop.substr(5);
    part = loop + "p1";
    const fs::path sysPart = fs::path("/sys/block") / name / (name + "p1") / "dev";
    within([&] { return fs::exists(sysPart); }, 1000);
    if (!fs::exists(sysPart)) shell("partx -a " + loop);  // some kernels leave the scan to user space
    if (!within([&] { return fs::exists(sysPart); }, 2000)) GTEST_SKIP() << "the kernel did not scan the partitions";
    if (!fs::exists(part)) {
      unsigned maj = 0, min = 0;
      char colon = 0;
      std::ifstream(sysPart) >> maj >> colon >> min;
      part = loops->file(name + "p1");
      if (::mknod(part.c_str(), S_IFBLK | 0600, makedev(maj, min)) != 0)
        GTEST_SKIP() << "cannot create the partition node";
    }
    ASSERT_EQ(shell("mkfs.ext4 -q -F " + part).exitCode, 0);
    if (shell("mount " + part + " " + mountDir).exitCode != 0) GTEST_SKIP() << "mount is not permitted here";
    mounted = true;
  }
  void TearDown() override {
    if (mounted) shell("umount " + mountDir);
  }
  template <class F>
  static bool within(F&& done, int ms) {
    for (int waited = 0; !done() && waited < ms; waited += 100) ::usleep(100000);
    return done();
  }
  // The loop disk as listed (null if not), and a table over the listing.
  const DriveRecord* listed() {
    records = e.drives();
    table.emplace(e, records);
    return FakeSysfsTest::byNode(records, loop);
  }

  std::optional<LoopFiles> loops;
  std::string image, mountDir, loop, part;
  bool mounted = false;
  LinuxDriveEnumerator e;
  std::vector<DriveRecord> records;
  std::optional<LinuxDriveTable> table;
};

TEST_F(LoopDeviceTest, ListsTheLoopDiskUnmarked) {
  const DriveRecord* p = listed();
  ASSERT_NE(p, nullptr) << loop << " not listed";
  const DriveRecord& d = *p;
  EXPECT_EQ(d.size, 64u * 1024 * 1024);
  EXPECT_EQ(d.bytesPerSector, 512u);
  EXPECT_TRUE(d.mediaPresent);
  EXPECT_EQ(d.model, "Loop " + image);
  EXPECT_FALSE(d.pnpDeviceId.empty());
  struct stat st {};
  ASSERT_EQ(::stat(loop.c_str(), &st), 0);
  EXPECT_EQ(d.devNumber, static_cast<std::uint64_t>(st.st_rdev));

  const FormState form = listedGrid(e, {"/"});
  const GridModel& g = form.iGrid1;
  int row = 1;
  while (row <= g.rowCount() && g.value(row, 1) != std::to_string(d.number)) ++row;
  ASSERT_LE(row, g.rowCount()) << loop << " has no row";
  EXPECT_EQ(g.value(row, 3), "64.0 Mb");
  EXPECT_EQ(g.value(row, 6), "512");
  EXPECT_NE(g.backColor(row, 1), kSystemDriveBack);
}

TEST_F(LoopDeviceTest, DrivesUnderFollowsTheMountDownToTheLoopDisk) {
  const DriveRecord* d = listed();
  ASSERT_NE(d, nullptr) << loop << " not listed";
  const int n = d->number;
  auto holds = [n](const std::vector<int>& numbers) { return std::count(numbers.begin(), numbers.end(), n) == 1; };
  const DrivesUnder under = e.drivesUnder(mountDir);
  EXPECT_EQ(under.failure, "");
  EXPECT_TRUE(holds(under.numbers));
  EXPECT_FALSE(holds(e.drivesUnder("/tmp").numbers));
  EXPECT_TRUE(holds(table->drivesUnder(mountDir + "/.")));
  EXPECT_EQ(table->checkUnchanged(n), "");
  EXPECT_EQ(table->deviceNumber(n), d->devNumber);
}

TEST_F(LoopDeviceTest, DriveTableReadsTheDisk) {
  const DriveRecord* d = listed();
  ASSERT_NE(d, nullptr) << loop << " not listed";
  auto src = table->openSource(d->number);
  ASSERT_NE(src, nullptr);
  std::array<std::byte, 512> mbr{};
  const IoResult r = src->read(mbr);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes, 512u);
  EXPECT_EQ(mbr[510], std::byte{0x55});
  EXPECT_EQ(mbr[511], std::byte{0xAA});
}

TEST_F(LoopDeviceTest, DetachedLoopIsReportedAsGone) {
  const DriveRecord* d = listed();
  ASSERT_NE(d, nullptr) << loop << " not listed";
  const int n = d->number;
  ASSERT_EQ(shell("umount " + mountDir).exitCode, 0);
  mounted = false;
  loops->detach(loop);
  // Detach is asynchronous; give the kernel a moment to drop the backing file.
  within([&] { return !table->checkUnchanged(n).empty(); }, 5000);
  EXPECT_EQ(table->checkUnchanged(n), "the drive at " + loop + " is no longer attached");
}

}  // namespace
}  // namespace mdi
