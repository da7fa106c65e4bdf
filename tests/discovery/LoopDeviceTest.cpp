// Discovery against real loop devices, attached by the test and always
// taken down again: a 64 MiB image with one mounted ext4 partition, and a
// read-only loop device over one of two files alike in size and content.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <fstream>
#include <optional>
#include <tuple>

#include "discovery/LinuxDriveTable.h"
#include "tests/Shell.h"
#include "tests/TestDir.h"
#include "tests/discovery/FakeSysfs.h"
#include "tests/fakes/LoopDevice.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;
using test::shell;

// A loop device of the test's own, listed by discovery with a drive table
// over the listing.
class OwnLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
  // Attaches the file `name` of the test's folder.
  void attach(const std::string& name, LoopOptions options) {
    device.emplace(dir.path / name, options);
    loop = device->path().string();
  }
  void list() {
    records = e.drives();
    table.emplace(e, records);
    d = FakeSysfsTest::byNode(records, loop);
    ASSERT_NE(d, nullptr) << loop << " not listed";
  }
  template <class F>
  static bool within(F&& done, int ms) {
    for (int waited = 0; !done() && waited < ms; waited += 100) ::usleep(100000);
    return done();
  }
  ScratchDir dir{"mdi-loop-"};
  std::optional<LoopDevice> device;
  std::string loop;
  LinuxDriveEnumerator e;
  std::vector<DriveRecord> records;
  std::optional<LinuxDriveTable> table;
  const DriveRecord* d = nullptr;
};

// A 64 MiB image with one ext4 partition, mounted.
class LoopDeviceTest : public OwnLoop {
 protected:
  void SetUp() override {
    OwnLoop::SetUp();
    if (IsSkipped()) return;
    image = dir / "disk.img";
    mountDir = dir / "mnt";
    fs::create_directories(mountDir);
    ASSERT_EQ(shell("truncate -s 64M " + image + " && echo 'label: dos\n,,L' | sfdisk -q " + image).exitCode, 0);
    attach("disk.img", {.readOnly = false, .partitions = true});
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
      part = dir / (name + "p1");
      if (::mknod(part.c_str(), S_IFBLK | 0600, makedev(maj, min)) != 0)
        GTEST_SKIP() << "cannot create the partition node";
    }
    const test::ShellResult mkfs = shell("mkfs.ext4 -q -F " + part);
    ASSERT_EQ(mkfs.exitCode, 0) << mkfs.output;
    if (shell("mount " + part + " " + mountDir).exitCode != 0) GTEST_SKIP() << "mount is not permitted here";
    mounted = true;
    list();
  }
  void TearDown() override {
    if (mounted) shell("umount " + mountDir);
  }
  std::string image, mountDir, part;
  bool mounted = false;
};

// One loop disk, listed, followed under its mount, read, and detached.
TEST_F(LoopDeviceTest, ListedUnmarkedFollowedUnderItsMountReadAndReportedGoneWhenDetached) {
  struct stat st {};
  ASSERT_EQ(::stat(loop.c_str(), &st), 0);
  EXPECT_EQ(std::tuple(d->size, d->bytesPerSector, d->mediaPresent, d->model, d->devNumber),
            std::tuple(64u * 1024 * 1024, 512u, true, "Loop " + image, static_cast<std::uint64_t>(st.st_rdev)));
  EXPECT_FALSE(d->pnpDeviceId.empty());
  const FormState form = listedGrid(e, {"/"});
  const GridModel& g = form.iGrid1;
  int row = 1;
  while (row <= g.rowCount() && g.value(row, 1) != std::to_string(d->number)) ++row;
  ASSERT_LE(row, g.rowCount()) << loop << " has no row";
  EXPECT_EQ(g.value(row, 3), "64.0 Mb");
  EXPECT_EQ(g.value(row, 6), "512");
  EXPECT_NE(g.backColor(row, 1), kSystemDriveBack);

  SCOPED_TRACE("drives under the mount");
  auto holds = [n = d->number](const std::vector<int>& numbers) {
    return std::count(numbers.begin(), numbers.end(), n) == 1;
  };
  const DrivesUnder under = e.drivesUnder(mountDir);
  EXPECT_EQ(under.failure, "");
  EXPECT_TRUE(holds(under.numbers));
  EXPECT_FALSE(holds(e.drivesUnder("/tmp").numbers));
  EXPECT_TRUE(holds(table->drivesUnder(mountDir + "/.")));
  EXPECT_EQ(table->checkUnchanged(d->number), "");
  EXPECT_EQ(table->deviceNumber(d->number), d->devNumber);

  SCOPED_TRACE("read through the drive table");
  auto src = table->openSource(d->number);
  ASSERT_NE(src, nullptr);
  std::array<std::byte, 512> mbr{};
  const IoResult r = src->read(mbr);
  EXPECT_EQ(std::pair(r.bytes, r.error), std::pair(std::size_t{512}, 0));
  EXPECT_EQ(std::pair(mbr[510], mbr[511]), std::pair(std::byte{0x55}, std::byte{0xAA}));
  src.reset();

  SCOPED_TRACE("detached");
  ASSERT_EQ(shell("umount " + mountDir).exitCode, 0);
  mounted = false;
  device.reset();
  // Detach is asynchronous; give the kernel a moment to drop the backing file.
  within([&] { return !table->checkUnchanged(d->number).empty(); }, 5000);
  EXPECT_EQ(table->checkUnchanged(d->number), "the drive at " + loop + " is no longer attached");
}

// A drive number keeps meaning the medium that was listed: a loop device
// re-pointed to another file of the same size and content is refused, and
// drives are read through read-only descriptors (a read-only loop device
// would refuse anything else).
class LoopIdentity : public OwnLoop {
 protected:
  void SetUp() override {
    OwnLoop::SetUp();
    if (IsSkipped()) return;
    // Two files alike in size and content: only the file itself tells them apart.
    for (const char* name : {"a.img", "b.img"}) std::ofstream(dir / name) << std::string(1 << 20, 'z');
    attach("a.img", {});
    list();
  }
};

TEST_F(LoopIdentity, ReadThroughAReadOnlyDescriptorAndNoLongerTheDriveOnceRePointed) {
  {
    auto src = table->openSource(d->number);
    std::vector<std::byte> buf(4096);
    const IoResult r = src->read(buf);
    EXPECT_EQ(std::pair(r.bytes, r.error), std::pair(buf.size(), 0));
    EXPECT_EQ(buf[0], std::byte{'z'});
    // Some kernels let a read-only loop device be opened for writing, so the
    // descriptors this process holds on it are looked at themselves.
    int held = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (fs::read_symlink(fd.path(), ec) != loop) continue;
      ++held;
      std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
      std::string field;
      while (info >> field && field != "flags:") {}
      int flags = -1;
      info >> std::oct >> flags;
      EXPECT_EQ(flags & O_ACCMODE, O_RDONLY) << "descriptor " << fd.path().filename() << " flags " << std::oct << flags;
    }
    EXPECT_GE(held, 1) << "no descriptor on " << loop;
  }

  EXPECT_EQ(table->checkUnchanged(d->number), "");
  ASSERT_TRUE(table->drive(d->number)->loopBacking.has_value());
  // Swapped in place (read-only loop devices allow it), so no other test
  // can take the node in between.
  const int loopFd = ::open(loop.c_str(), O_RDONLY | O_CLOEXEC);
  const int fileFd = ::open((dir / "b.img").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(loopFd, 0);
  ASSERT_GE(fileFd, 0);
  const int changed = ::ioctl(loopFd, LOOP_CHANGE_FD, fileFd);
  ::close(fileFd);
  ::close(loopFd);
  ASSERT_EQ(changed, 0) << "LOOP_CHANGE_FD refused";
  EXPECT_EQ(table->checkUnchanged(d->number),
            "the drive at " + loop + " has changed since it was listed (the loop device now reads another file)");
}

}  // namespace
}  // namespace mdi
