// Discovery against a real loop device, attached by the test and always
// taken down again: a read-only loop device over an ext4 image, listed,
// followed under its mount, read through the drive table, re-pointed to a
// twin file and detached.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <tuple>

#include "discovery/LinuxDriveTable.h"
#include "platform/linux/BlockProbe.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/UdevMonitor.h"
#include "tests/AccessModes.h"
#include "tests/Pattern.h"
#include "tests/Shell.h"
#include "tests/TestDir.h"
#include "tests/fakes/LoopDevice.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;
using test::shell;

class OwnLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    // Two files alike in size and content: only the file itself tells them apart.
    const test::ShellResult made =
        shell("truncate -s 8M " + image + " && mkfs.ext4 -q -F " + image + " && cp " + image + " " + dir / "b.img");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    device.emplace(image);
    loop = device->path().string();
    records = e.drives();
    table.emplace(e, records);
    const auto it =
        std::find_if(records.begin(), records.end(), [&](const DriveRecord& r) { return r.deviceId == loop; });
    ASSERT_NE(it, records.end()) << loop << " not listed";
    d = &*it;
  }
  void TearDown() override {
    if (mounted) shell("umount " + dir / "mnt");
  }
  bool holds(const std::vector<int>& numbers) const {
    return std::count(numbers.begin(), numbers.end(), d->number) == 1;
  }
  ScratchDir dir{"mdi-loop-"};
  const std::string image = dir / "a.img";
  std::optional<LoopDevice> device;
  std::string loop;
  LinuxDriveEnumerator e;
  std::vector<DriveRecord> records;
  std::optional<LinuxDriveTable> table;
  const DriveRecord* d = nullptr;
  bool mounted = false;
};

// Drives are read through read-only descriptors: a read-only loop device
// would refuse anything else.
TEST_F(OwnLoop, ListedReadThroughAReadOnlyDescriptorAndFollowedUnderItsMount) {
  struct stat st {};
  ASSERT_EQ(::stat(loop.c_str(), &st), 0);
  EXPECT_EQ(std::tuple(d->size, d->bytesPerSector, d->mediaPresent, d->model, d->devNumber),
            std::tuple(8u << 20, 512u, true, "Loop " + image, static_cast<std::uint64_t>(st.st_rdev)));
  EXPECT_FALSE(d->pnpDeviceId.empty());
  EXPECT_EQ(table->deviceNumber(d->number), d->devNumber);
  {
    // (What a drive read through the table gives is imaged whole by the
    // root run of the access tests.)
    auto src = table->openSource(d->number);
    std::vector<std::byte> buf(4096);
    EXPECT_EQ(src->read(buf).bytes, buf.size());
    const std::vector<int> modes = test::accessModesOf(loop);
    EXPECT_FALSE(modes.empty()) << "no descriptor on " << loop;
    for (const int mode : modes) EXPECT_EQ(mode, O_RDONLY) << "a descriptor on " << loop << " not read-only";
  }

  EXPECT_FALSE(holds(e.drivesUnder(dir.path).numbers));
  fs::create_directories(dir.path / "mnt");
  if (shell("mount -o ro " + loop + " " + dir / "mnt").exitCode != 0) GTEST_SKIP() << "mount is not permitted here";
  mounted = true;
  const DrivesUnder under = e.drivesUnder(dir / "mnt");
  EXPECT_EQ(under.failure, "");
  EXPECT_TRUE(holds(under.numbers));
  EXPECT_TRUE(holds(table->drivesUnder(dir / "mnt/.")));
}

// The monitor (where it hears device events at all) hears one within 3 s.
void expectEvent(UdevMonitor& monitor, const std::string& of) {
  if (monitor.fd() < 0) return;
  pollfd p{monitor.fd(), POLLIN, 0};
  EXPECT_GT(::poll(&p, 1, 3000), 0) << "no event within 3 s of " << of;
  EXPECT_TRUE(monitor.takeEvents());
}

// A drive number keeps meaning the medium that was listed: the loop device
// re-pointed to the twin file is refused, and once detached it is reported
// gone, by the device monitor and the table.
TEST_F(OwnLoop, NoLongerTheDriveOnceRePointedOrDetached) {
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

  UdevMonitor monitor;  // without device events here (netlink refused), only the table is followed
  monitor.takeEvents();
  device.reset();
  expectEvent(monitor, "detaching " + loop);
  // Detach is asynchronous; give the kernel a moment to drop the backing file.
  for (int waited = 0; table->checkUnchanged(d->number).find("no longer") == std::string::npos && waited < 5000;
       waited += 100)
    ::usleep(100000);
  EXPECT_EQ(table->checkUnchanged(d->number), "the drive at " + loop + " is no longer attached");
  const std::vector<int> detached = table->rescan().detached;
  EXPECT_TRUE(holds(detached));

  // A drive attached after the listing is heard of and found.
  monitor.takeEvents();
  LoopDevice again(image);
  expectEvent(monitor, "attaching " + again.path().string());
  const std::vector<DriveRecord> attached = table->rescan().attached;
  EXPECT_TRUE(std::any_of(attached.begin(), attached.end(),
                          [&](const DriveRecord& r) { return r.deviceId == again.path().string(); }))
      << again.path() << " not found by the rescan";
}

// A drive of 4,096-byte sectors read past the page cache, as going past read
// errors reads it, is read in whole sectors of its own however little is
// asked for: the kernel refuses a direct read of less.
TEST(LoopDevice4Kn, ReadPastTheCacheInPiecesSmallerThanItsSectors) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  const ScratchDir dir("mdi-4kn-");
  const std::vector<std::byte> data = test::patternBytes(64 << 10, 4);
  std::ofstream(dir / "4kn.img", std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  const LoopDevice device(dir / "4kn.img", 4096);
  const auto src = PosixFileAccess().openSource(device.path().string());
  src->readPastCache();
  EXPECT_FALSE(src->positionedRead(4096).has_value()) << "a ring would read the page cache";
  std::vector<std::byte> got(5000);  // read 1,000 bytes at a time, across a sector's end
  for (std::size_t at = 0; at < got.size(); at += 1000) {
    const IoResult r = src->read(std::span(got).subspan(at, 1000));
    EXPECT_EQ(std::pair(r.bytes, r.error), (std::pair<std::size_t, int>(1000, 0))) << "at " << at;
  }
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
}

// Telling a drive from the one listed reads its first 64 KiB, and no more:
// a failing drive is asked for no sector the check does not need, and a
// run does not read ahead of itself for it (the kernel drops what the
// check read once its descriptor closes).
TEST(LoopDeviceProbe, ReadsOnlyTheFirst64KiB) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  const ScratchDir dir("mdi-probe-");
  const std::vector<std::byte> data = test::patternBytes(8 << 20, 4);
  std::ofstream(dir / "d.img", std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  const LoopDevice device(dir / "d.img");
  const std::string node = device.path().string();
  shell("udevadm settle --timeout=10 2>/dev/null; blockdev --flushbufs " + node);
  auto sectorsRead = [&] {
    std::ifstream stat(fs::path("/sys/block") / device.path().filename() / "stat");
    std::uint64_t reads = 0, merged = 0, sectors = 0;
    stat >> reads >> merged >> sectors;
    return sectors;
  };
  const std::uint64_t before = sectorsRead();
  ASSERT_TRUE(probeBlockDevice(node).has_value());
  EXPECT_EQ(sectorsRead() - before, (64u << 10) / 512);
}

}  // namespace
}  // namespace mdi
