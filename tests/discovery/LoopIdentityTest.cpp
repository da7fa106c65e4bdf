// A drive number keeps meaning the medium that was listed: a loop device
// re-pointed to another file of the same size and content is refused, and
// drives are read through read-only descriptors (a read-only loop device
// would refuse anything else).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "discovery/LinuxDriveTable.h"
#include "platform/linux/LinuxDriveEnumerator.h"
#include "tests/TestDir.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

bool sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

class LoopIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to attach loop devices";
    if (!fs::exists("/dev/loop-control")) GTEST_SKIP() << "no /dev/loop-control";
    dir = testDir("mdi-loopid-");
    fs::create_directories(dir);
    // Two files alike in size and content: only the file itself tells them apart.
    for (const char* name : {"a.img", "b.img"}) std::ofstream(dir / name) << std::string(1 << 20, 'z');
    if (FILE* p = ::popen(("losetup -f -r --show " + (dir / "a.img").string() + " 2>/dev/null").c_str(), "r")) {
      char buf[64] = {};
      if (std::fgets(buf, sizeof buf, p)) node = buf;
      ::pclose(p);
    }
    while (!node.empty() && node.back() == '\n') node.pop_back();
    if (node.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "losetup could not attach a loop device";
  }
  void TearDown() override {
    if (!node.empty()) sh("losetup -d " + node);
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
  int numberOf(const std::vector<DriveRecord>& listed) const {
    for (const auto& r : listed)
      if (r.deviceId == node) return r.number;
    return -1;
  }
  fs::path dir;
  std::string node;
};

TEST_F(LoopIdentity, RePointedLoopDeviceIsNoLongerTheListedDrive) {
  LinuxDriveEnumerator en;
  const auto listed = en.drives();
  const int n = numberOf(listed);
  ASSERT_GE(n, 0) << node << " was not listed";
  LinuxDriveTable table(en, listed);
  EXPECT_EQ(table.checkUnchanged(n), "");
  ASSERT_TRUE(table.drive(n)->loopBacking.has_value());

  // Swapped in place (read-only loop devices allow it), so no other test
  // can take the node in between.
  const int loopFd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  const int fileFd = ::open((dir / "b.img").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(loopFd, 0);
  ASSERT_GE(fileFd, 0);
  const int changed = ::ioctl(loopFd, LOOP_CHANGE_FD, fileFd);
  ::close(fileFd);
  ::close(loopFd);
  ASSERT_EQ(changed, 0) << "LOOP_CHANGE_FD refused";
  EXPECT_EQ(table.checkUnchanged(n),
            "the drive at " + node + " has changed since it was listed (the loop device now reads another file)");
}

TEST_F(LoopIdentity, DriveIsReadThroughAReadOnlyDescriptor) {
  LinuxDriveEnumerator en;
  const auto listed = en.drives();
  const int n = numberOf(listed);
  ASSERT_GE(n, 0);
  LinuxDriveTable table(en, listed);
  auto src = table.openSource(n);
  std::vector<std::byte> buf(4096);
  const IoResult r = src->read(buf);
  EXPECT_FALSE(r.failed()) << "a read-only loop device refuses a descriptor opened for writing";
  EXPECT_EQ(r.bytes, buf.size());
  EXPECT_EQ(buf[0], std::byte{'z'});
}

}  // namespace
}  // namespace mdi
