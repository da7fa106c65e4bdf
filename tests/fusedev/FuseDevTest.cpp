// The fault filesystem, checked for what the product's fault-device runs
// rely on without seeing it: its files read back as expected(), reads fail
// exactly where told, short reads really are short (a run over a file that
// ignored its limit would still pass), and a loop device over a file is
// read-only and is gone, with the mount, afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "tests/TestDir.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace mdi::fusedev {
namespace {

namespace fs = std::filesystem;

struct ReadResult {
  int error;
  std::vector<std::uint8_t> bytes;
};

ReadResult readAt(const fs::path& path, std::uint64_t offset, std::size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {errno, {}};
  std::vector<std::uint8_t> buf(size);
  const ssize_t n = ::pread(fd, buf.data(), size, static_cast<off_t>(offset));
  const int error = n < 0 ? errno : 0;
  ::close(fd);
  buf.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  return {error, buf};
}

class FaultFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = FaultFs::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    fsys.emplace(testDir("fusedev-"));
    mountPoint = fsys->mountPoint();
  }
  // Nothing is left behind: no loop device over the files, no mount (the
  // folder is removed only once it is unmounted).
  void TearDown() override {
    loop.reset();  // before the filesystem it reads
    if (mountPoint.empty()) return;
    EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{});
    fsys.reset();
    EXPECT_FALSE(fs::exists(mountPoint));
  }
  std::optional<FaultFs> fsys;
  fs::path mountPoint;
  std::optional<LoopDevice> loop;
};

TEST_F(FaultFsTest, ReadsFailExactlyWhereToldAndComeBackNoLongerThanTheLimit) {
  const std::uint64_t size = 256 * 1024 + 77, from = 4096, to = 4096 + 512;
  FaultFile& f = fsys->add({.name = "disk.img", .size = size});
  EXPECT_EQ(::open(f.path().c_str(), O_WRONLY | O_CLOEXEC), -1) << "the files are read-only";
  f.failReads(from, to);
  // Before the range, its first and last byte, a read spanning it, after it.
  for (auto [offset, length, fails] : {std::tuple{from - 512, 512, false},
                                       {from, 512, true},
                                       {to - 1, 1, true},
                                       {std::uint64_t{0}, 65536, true},
                                       {to, 512, false}}) {
    SCOPED_TRACE(offset);
    const ReadResult r = readAt(f.path(), offset, static_cast<std::size_t>(length));
    EXPECT_EQ(r.error, fails ? EIO : 0);
    if (!fails) { EXPECT_EQ(r.bytes, f.expected(offset, static_cast<std::size_t>(length))); }
  }
  f.clearFaults();
  f.limitReadSize(1000);
  std::vector<std::uint8_t> all;
  for (ReadResult r; !(r = readAt(f.path(), all.size(), 65536)).bytes.empty();) {
    ASSERT_LE(r.bytes.size(), 1000u);
    all.insert(all.end(), r.bytes.begin(), r.bytes.end());
  }
  EXPECT_EQ(all, f.expected(0, size));
}

TEST_F(FaultFsTest, LoopDeviceIsReadOnlyAndGivesTheFile) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  FaultFile& f = fsys->add({.name = "disk.img", .size = 8 << 20});
  loop.emplace(f.path());
  EXPECT_TRUE(loop->readOnly());
  EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{loop->name()});
  EXPECT_EQ(readAt(loop->path(), 8 * 512, 131072).bytes, f.expected(8 * 512, 131072));
}

}  // namespace
}  // namespace mdi::fusedev
