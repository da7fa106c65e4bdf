// Discovery against a real loop device: a 64 MiB image with one ext4
// partition, attached and mounted by the test and always taken down again.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "discovery/LinuxDriveTable.h"
#include "discovery/ListDrives.h"
#include "platform/linux/LinuxDriveEnumerator.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

std::string runOutput(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  std::array<char, 256> buf{};
  while (std::fgets(buf.data(), static_cast<int>(buf.size()), p)) out += buf.data();
  ::pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}
bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

class LoopDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to attach loop devices";
    if (!fs::exists("/dev/loop-control")) GTEST_SKIP() << "no /dev/loop-control";
    char tmpl[] = "/tmp/mdi-loop-XXXXXX";
    if (!::mkdtemp(tmpl)) GTEST_SKIP() << "cannot make a temp folder";
    dir = tmpl;
    image = dir / "disk.img";
    mountDir = dir / "mnt";
    fs::create_directories(mountDir);
    ASSERT_TRUE(run("truncate -s 64M " + image.string()));
    ASSERT_TRUE(run("echo 'label: dos\n,,L' | sfdisk -q " + image.string()));
    loop = runOutput("losetup -fP --show " + image.string() + " 2>/dev/null");
    if (loop.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "losetup could not attach the image";
    const std::string name = loop.substr(5);
    // Without udev the partition node may be missing; make it from sysfs.
    part = loop + "p1";
    const fs::path sysPart = fs::path("/sys/block") / name / (name + "p1") / "dev";
    for (int i = 0; i < 10 && !fs::exists(sysPart); ++i) ::usleep(100000);
    // Some kernels leave the scan to user space.
    if (!fs::exists(sysPart)) run("partx -a " + loop);
    for (int i = 0; i < 20 && !fs::exists(sysPart); ++i) ::usleep(100000);
    if (!fs::exists(sysPart)) GTEST_SKIP() << "the kernel did not scan the loop's partitions";
    if (!fs::exists(part)) {
      unsigned maj = 0, min = 0;
      std::ifstream in(sysPart);
      char colon = 0;
      in >> maj >> colon >> min;
      part = (dir / (name + "p1")).string();
      if (::mknod(part.c_str(), S_IFBLK | 0600, makedev(maj, min)) != 0)
        GTEST_SKIP() << "cannot create the partition node";
    }
    ASSERT_TRUE(run("mkfs.ext4 -q -F " + part));
    if (!run("mount " + part + " " + mountDir.string())) GTEST_SKIP() << "mount is not permitted here";
    mounted = true;
  }
  void TearDown() override {
    if (mounted) run("umount " + mountDir.string());
    if (!loop.empty()) run("losetup -d " + loop);
    if (!dir.empty()) {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  }
  const DriveRecord* loopRecord(const std::vector<DriveRecord>& r) const {
    for (const auto& d : r)
      if (d.deviceId == loop) return &d;
    return nullptr;
  }

  fs::path dir, image, mountDir;
  std::string loop, part;
  bool mounted = false;
};

TEST_F(LoopDeviceTest, ListsTheLoopDiskUnmarked) {
  LinuxDriveEnumerator e;
  const auto records = e.drives();
  const DriveRecord* d = loopRecord(records);
  ASSERT_NE(d, nullptr) << loop << " not listed";
  EXPECT_EQ(d->size, 64u * 1024 * 1024);
  EXPECT_EQ(d->bytesPerSector, 512u);
  EXPECT_TRUE(d->mediaPresent);
  EXPECT_EQ(d->model, "Loop " + image.string());
  EXPECT_FALSE(d->pnpDeviceId.empty());
  struct stat st {};
  ASSERT_EQ(::stat(loop.c_str(), &st), 0);
  EXPECT_EQ(d->devNumber, static_cast<std::uint64_t>(st.st_rdev));

  FormState form;
  setUpDriveGrid(form.iGrid1);
  form.SystemLetters = {"/"};
  ListDrives(form, e, Separators{",", "."});
  bool listed = false;
  for (int row = 1; row <= form.iGrid1.rowCount(); ++row)
    if (form.iGrid1.value(row, 1) == std::to_string(d->number)) {
      listed = true;
      EXPECT_EQ(form.iGrid1.value(row, 3), "64.0 Mb");
      EXPECT_EQ(form.iGrid1.value(row, 6), "512");
      EXPECT_NE(form.iGrid1.backColor(row, 1), kSystemDriveBack);
    }
  EXPECT_TRUE(listed);
}

TEST_F(LoopDeviceTest, DrivesUnderFollowsTheMountDownToTheLoopDisk) {
  LinuxDriveEnumerator e;
  const auto records = e.drives();
  const DriveRecord* d = loopRecord(records);
  ASSERT_NE(d, nullptr);
  const DrivesUnder under = e.drivesUnder(mountDir.string());
  EXPECT_EQ(under.failure, "");
  EXPECT_NE(std::find(under.numbers.begin(), under.numbers.end(), d->number), under.numbers.end());
  const DrivesUnder tmp = e.drivesUnder("/tmp");
  EXPECT_EQ(std::find(tmp.numbers.begin(), tmp.numbers.end(), d->number), tmp.numbers.end());

  LinuxDriveTable table(e, records);
  const auto viaTable = table.drivesUnder((mountDir / ".").string());
  EXPECT_NE(std::find(viaTable.begin(), viaTable.end(), d->number), viaTable.end());
  EXPECT_EQ(table.checkUnchanged(d->number), "");
  EXPECT_EQ(table.deviceNumber(d->number), d->devNumber);
}

TEST_F(LoopDeviceTest, DriveTableReadsTheDiskReadOnly) {
  LinuxDriveEnumerator e;
  const auto records = e.drives();
  const DriveRecord* d = loopRecord(records);
  ASSERT_NE(d, nullptr);
  LinuxDriveTable table(e, records);
  auto src = table.openSource(d->number);
  ASSERT_NE(src, nullptr);
  std::array<std::byte, 512> mbr{};
  const IoResult r = src->read(mbr);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes, 512u);
  EXPECT_EQ(mbr[510], std::byte{0x55});
  EXPECT_EQ(mbr[511], std::byte{0xAA});
}

TEST_F(LoopDeviceTest, DetachedLoopIsReportedAsGone) {
  LinuxDriveEnumerator e;
  const auto records = e.drives();
  const DriveRecord* d = loopRecord(records);
  ASSERT_NE(d, nullptr);
  LinuxDriveTable table(e, records);
  ASSERT_TRUE(run("umount " + mountDir.string()));
  mounted = false;
  ASSERT_TRUE(run("losetup -d " + loop));
  const std::string node = loop;
  loop.clear();
  // Detach is asynchronous; give the kernel a moment to drop the backing file.
  std::string reason;
  for (int i = 0; i < 50 && reason.empty(); ++i) {
    reason = table.checkUnchanged(d->number);
    if (reason.empty()) ::usleep(100000);
  }
  EXPECT_EQ(reason, "the drive at " + node + " is no longer attached");
}

}  // namespace
}  // namespace mdi
