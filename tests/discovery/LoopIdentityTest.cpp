// A drive number keeps meaning the medium that was listed: a loop device
// re-pointed to another file of the same size and content is refused, and
// drives are read through read-only descriptors (a read-only loop device
// would refuse anything else).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "discovery/LinuxDriveTable.h"
#include "platform/linux/LinuxDriveEnumerator.h"
#include "tests/LoopFiles.h"
#include "tests/TestDir.h"

namespace mdi {
namespace {

class LoopIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = LoopFiles::skipReason(); !why.empty()) GTEST_SKIP() << why;
    loops.emplace(testDir("mdi-loopid-"));
    // Two files alike in size and content: only the file itself tells them apart.
    for (const char* name : {"a.img", "b.img"}) std::ofstream(loops->file(name)) << std::string(1 << 20, 'z');
    node = loops->attach("a.img", 1, "-r");
    if (node.empty()) GTEST_SKIP() << "losetup could not attach a loop device";
    listed = en.drives();
    for (const auto& r : listed)
      if (r.deviceId == node) number = r.number;
    ASSERT_GE(number, 0) << node << " was not listed";
  }
  std::optional<LoopFiles> loops;
  std::string node;
  LinuxDriveEnumerator en;
  std::vector<DriveRecord> listed;
  int number = -1;
};

TEST_F(LoopIdentity, RePointedLoopDeviceIsNoLongerTheListedDrive) {
  LinuxDriveTable table(en, listed);
  EXPECT_EQ(table.checkUnchanged(number), "");
  ASSERT_TRUE(table.drive(number)->loopBacking.has_value());
  // Swapped in place (read-only loop devices allow it), so no other test
  // can take the node in between.
  const int loopFd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  const int fileFd = ::open(loops->file("b.img").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(loopFd, 0);
  ASSERT_GE(fileFd, 0);
  const int changed = ::ioctl(loopFd, LOOP_CHANGE_FD, fileFd);
  ::close(fileFd);
  ::close(loopFd);
  ASSERT_EQ(changed, 0) << "LOOP_CHANGE_FD refused";
  EXPECT_EQ(table.checkUnchanged(number),
            "the drive at " + node + " has changed since it was listed (the loop device now reads another file)");
}

TEST_F(LoopIdentity, DriveIsReadThroughAReadOnlyDescriptor) {
  LinuxDriveTable table(en, listed);
  auto src = table.openSource(number);
  std::vector<std::byte> buf(4096);
  const IoResult r = src->read(buf);
  EXPECT_FALSE(r.failed()) << "a read-only loop device refuses a descriptor opened for writing";
  EXPECT_EQ(r.bytes, buf.size());
  EXPECT_EQ(buf[0], std::byte{'z'});
}

}  // namespace
}  // namespace mdi
