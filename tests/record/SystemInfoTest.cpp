// The host name and wall clock the record states, against what the OS
// says through other means.
#include <gtest/gtest.h>

#include "platform/linux/PosixSystemInfo.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {

TEST(PosixSystemInfo, HostNameIsTheKernelsNodeName) {
  const std::string proc = fileText("/proc/sys/kernel/hostname");
  if (proc.empty()) GTEST_SKIP() << "/proc/sys/kernel/hostname cannot be read here";
  PosixSystemInfo info;
  EXPECT_EQ(info.hostName() + "\n", proc);
}

TEST(PosixSystemInfo, NowIsTheWallClock) {
  PosixSystemInfo info;
  const auto before = std::chrono::system_clock::now();
  const auto now = info.now();
  const auto after = std::chrono::system_clock::now();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
  EXPECT_GT(now.time_since_epoch(), std::chrono::hours(24 * 365 * 50)) << "a wall clock, not a tick";
}

}  // namespace
}  // namespace mdi::test
