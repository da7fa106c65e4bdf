// The fault filesystem, smoke-tested for what the product's fault-device
// runs rely on without seeing it: its files read back as expected(), reads
// fail exactly where told, short reads really are short (a run over a file
// that ignored its limit would still pass), and a loop device over a file
// is read-only and is gone, with the mount, afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "tests/TestDir.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace mdi::fusedev {
namespace {

namespace fs = std::filesystem;

struct Fd {
  int fd;
  explicit Fd(const fs::path& p, int flags = O_RDONLY) : fd(::open(p.c_str(), flags | O_CLOEXEC)) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

struct ReadResult {
  ssize_t n;
  int error;
  std::vector<std::uint8_t> bytes;
};

// O_DIRECT needs a buffer aligned to the logical block size.
ReadResult readAt(int fd, std::uint64_t offset, std::size_t size) {
  const std::unique_ptr<std::uint8_t, decltype(&std::free)> buf(
      static_cast<std::uint8_t*>(std::aligned_alloc(4096, (size + 4095) / 4096 * 4096)), &std::free);
  const ssize_t n = ::pread(fd, buf.get(), size, static_cast<off_t>(offset));
  return {n, n < 0 ? errno : 0, {buf.get(), buf.get() + std::max<ssize_t>(n, 0)}};
}

bool isMounted(const fs::path& p) {
  std::ifstream mounts("/proc/self/mounts");
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string device, point;
    fields >> device >> point;
    if (point == p.string()) return true;
  }
  return false;
}

class FaultFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = FaultFs::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    fsys.emplace(testDir("fusedev-"));
    mountPoint = fsys->mountPoint();
  }
  void TearDown() override {
    loop.reset();  // before the filesystem it reads
    if (mountPoint.empty()) return;
    EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{});
    fsys.reset();
    EXPECT_FALSE(isMounted(mountPoint));
    EXPECT_FALSE(fs::exists(mountPoint));
  }
  std::optional<FaultFs> fsys;
  fs::path mountPoint;
  std::optional<LoopDevice> loop;
};

TEST_F(FaultFsTest, ReadsFailExactlyWhereToldAndComeBackNoLongerThanTheLimit) {
  const std::uint64_t size = 256 * 1024 + 77, from = 4096, to = 4096 + 512;
  FaultFile& f = fsys->add({.name = "disk.img", .size = size});
  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  EXPECT_LT(Fd(f.path(), O_WRONLY).fd, 0) << "the files are read-only";
  f.failReads(from, to);
  // Before the range, its first and last byte, a read spanning it, after it.
  for (auto [offset, length, fails] : {std::tuple{from - 512, 512, false},
                                       {from, 512, true},
                                       {to - 1, 1, true},
                                       {std::uint64_t{0}, 65536, true},
                                       {to, 512, false}}) {
    SCOPED_TRACE(offset);
    const ReadResult r = readAt(fd.fd, offset, static_cast<std::size_t>(length));
    EXPECT_EQ(r.error, fails ? EIO : 0);
    if (!fails) { EXPECT_EQ(r.bytes, f.expected(offset, static_cast<std::size_t>(length))); }
  }
  f.clearFaults();
  f.limitReadSize(1000);
  std::vector<std::uint8_t> all;
  for (ReadResult r; (r = readAt(fd.fd, all.size(), 65536)).n > 0;) {
    ASSERT_LE(r.n, 1000);
    all.insert(all.end(), r.bytes.begin(), r.bytes.end());
  }
  EXPECT_EQ(all, f.expected(0, size));
}

TEST_F(FaultFsTest, LoopDeviceIsReadOnlyGivesTheFileAndIsDetached) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  FaultFile& f = fsys->add({.name = "disk.img", .size = 8 << 20});
  loop.emplace(f.path());
  EXPECT_TRUE(loop->readOnly());
  EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{loop->name()});
  Fd writer(loop->path(), O_WRONLY | O_DIRECT);
  if (writer.fd >= 0) {  // the kernel may open it, but never writes to it
    alignas(4096) static constexpr std::uint8_t kZeros[512] = {};
    EXPECT_EQ(::pwrite(writer.fd, kZeros, 512, 0), -1);
  }
  Fd fd(loop->path(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd.fd, 0);
  EXPECT_EQ(readAt(fd.fd, 8 * 512, 131072).bytes, f.expected(8 * 512, 131072));
}

}  // namespace
}  // namespace mdi::fusedev
