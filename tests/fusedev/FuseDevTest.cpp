// The fault filesystem against real system calls: reads of its files, and of
// loop devices over them, fail, come back short, stall and slow down exactly
// where a test says, and nothing is left mounted or attached afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/fakes/fusedev/FaultFs.h"
#include "platform/fakes/fusedev/LoopDevice.h"
#include "platform/fakes/fusedev/Pattern.h"
#include "tests/TestDir.h"

namespace mdi::fusedev {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Fd {
  int fd;
  explicit Fd(const fs::path& p, int flags = O_RDONLY) : fd(::open(p.c_str(), flags | O_CLOEXEC)) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// O_DIRECT needs buffers aligned to the logical block size.
struct AlignedBuffer {
  std::size_t size;
  std::unique_ptr<std::uint8_t, decltype(&std::free)> data;
  explicit AlignedBuffer(std::size_t n)
      : size(n), data(static_cast<std::uint8_t*>(std::aligned_alloc(4096, (n + 4095) / 4096 * 4096)), &std::free) {}
  std::vector<std::uint8_t> bytes(std::size_t n) const { return {data.get(), data.get() + n}; }
};

struct ReadResult {
  ssize_t n;
  int error;
  std::vector<std::uint8_t> bytes;
};

ReadResult readAt(int fd, std::uint64_t offset, std::size_t size) {
  AlignedBuffer buf(size);
  const ssize_t n = ::pread(fd, buf.data.get(), size, static_cast<off_t>(offset));
  return {n, n < 0 ? errno : 0, n > 0 ? buf.bytes(static_cast<std::size_t>(n)) : std::vector<std::uint8_t>{}};
}

bool isMounted(const fs::path& p) {
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, point;
    fields >> device >> point;
    if (point == p.string()) return true;
  }
  return false;
}

// Lets a stalled reader go before its thread is joined, also when an
// assertion ends the test early: declared after the thread, destroyed first.
struct ReleaseOnExit {
  FaultFile& file;
  ~ReleaseOnExit() { file.release(); }
};

class FaultFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = FaultFs::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    fsys.emplace(testDir("fusedev-"));
    mountPoint = fsys->mountPoint();
  }
  void TearDown() override {
    loop.reset();  // before the filesystem it reads
    if (!mountPoint.empty()) { EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{}); }
    fsys.reset();
    if (mountPoint.empty()) return;
    EXPECT_FALSE(isMounted(mountPoint));
    EXPECT_FALSE(fs::exists(mountPoint));
  }
  FaultFile& add(std::string name, std::uint64_t size) { return fsys->add({.name = std::move(name), .size = size}); }

  std::optional<FaultFs> fsys;
  fs::path mountPoint;
  std::optional<LoopDevice> loop;
};

// Loop devices over fault files.
class LoopOverFuseTest : public FaultFsTest {
 protected:
  void SetUp() override {
    FaultFsTest::SetUp();
    if (IsSkipped()) return;
    if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(FaultFsTest, PlainReadsGiveThePattern) {
  const std::uint64_t size = kMiB + 123;
  FaultFile& f = add("disk.img", size);
  struct stat st {};
  ASSERT_EQ(::stat(f.path().c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), size);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{511}, std::uint64_t{4096},
                                     std::uint64_t{65537}, size - 100}) {
    const ReadResult r = readAt(fd.fd, offset, 70000);
    ASSERT_GE(r.n, 0) << "at " << offset;
    EXPECT_EQ(r.bytes, patternBytes(offset, static_cast<std::size_t>(std::min<std::uint64_t>(70000, size - offset))))
        << "at " << offset;
  }
  EXPECT_EQ(readAt(fd.fd, size, 512).n, 0);
  FaultFile& seeded = fsys->add({.name = "seeded.img", .size = 4096, .seed = 1});
  Fd seededFd(seeded.path());
  EXPECT_EQ(readAt(seededFd.fd, 0, 4096).bytes, patternBytes(0, 4096, 1));
  EXPECT_NE(seeded.expected(0, 4096), f.expected(0, 4096));
}

TEST_F(FaultFsTest, ServesGivenBytesAndListsFiles) {
  const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7};
  fsys->add({.name = "given.bin", .content = bytes});
  add("pattern.bin", 512);
  Fd fd(mountPoint / "given.bin");
  ASSERT_GE(fd.fd, 0);
  EXPECT_EQ(readAt(fd.fd, 0, 100).bytes, bytes);
  EXPECT_EQ(readAt(fd.fd, 5, 100).bytes, (std::vector<std::uint8_t>{6, 7}));

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(mountPoint)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"given.bin", "pattern.bin"}));
  EXPECT_LT(Fd(mountPoint / "given.bin", O_WRONLY).fd, 0);
  EXPECT_THROW(add("given.bin", 1), std::invalid_argument);
}

// Reads around a failing range of a file, read directly or through a loop
// device: each probe gives the file's bytes or fails with EIO, and every
// one gives the bytes once the faults are cleared.
enum class Via { File, LoopDirect, LoopBuffered };
struct Probe {
  std::uint64_t offset;
  std::size_t size;
  bool fails;
};
struct FailCase {
  const char* name;
  Via via;
  std::uint64_t from, to;
  std::vector<Probe> probes;
};
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

// Before the range, its first and last byte, a read spanning it, after it.
FailCase fileCase(const char* name, std::uint64_t from, std::uint64_t to) {
  return {
      name,
      Via::File,
      from,
      to,
      {{from - 512, 512, false}, {from, 512, true}, {to - 1, 1, true}, {from - 4096, 65536, true}, {to, 512, false}}};
}

class FailingReads : public FaultFsTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailingReads, FailExactlyWhereTheRangeIs) {
  const FailCase& c = GetParam();
  if (const std::string why = LoopDevice::unavailableReason(); c.via != Via::File && !why.empty()) GTEST_SKIP() << why;
  FaultFile& f = add("disk.img", 8 * kMiB);
  f.failReads(c.from, c.to);
  if (c.via != Via::File) loop.emplace(f.path());
  Fd fd(c.via == Via::File ? f.path() : loop->path(), c.via == Via::LoopDirect ? O_RDONLY | O_DIRECT : O_RDONLY);
  ASSERT_GE(fd.fd, 0);
  for (const bool cleared : {false, true}) {
    for (const Probe& p : c.probes) {
      const ReadResult r = readAt(fd.fd, p.offset, p.size);
      if (p.fails && !cleared) {
        EXPECT_EQ(r.n, -1) << "at " << p.offset;
        EXPECT_EQ(r.error, EIO) << "at " << p.offset;
      } else {
        EXPECT_EQ(r.bytes, f.expected(p.offset, p.size)) << "at " << p.offset << (cleared ? " once cleared" : "");
      }
    }
    f.clearFaults();
  }
}

constexpr std::uint64_t kBad = 1001 * 512;
INSTANTIATE_TEST_SUITE_P(
    Ranges, FailingReads,
    ::testing::Values(
        fileCase("OneSectorOfTheFile", 4096, 4096 + 512), fileCase("TwoSectorsPastOneMiB", kMiB + 512, kMiB + 1536),
        fileCase("OneByte", 3 * kMiB + 1000, 3 * kMiB + 1001),
        FailCase{"LoopDirectIoFailsAtTheSector",
                 Via::LoopDirect,
                 kBad,
                 kBad + 512,
                 {{kBad - 512, 512, false}, {kBad, 512, true}, {kBad + 512, 512, false}, {kBad - 4096, 65536, true}}},
        // The block device's cache fails the whole 4 KiB page around the sector.
        FailCase{
            "LoopBufferedFailsTheWholePage",
            Via::LoopBuffered,
            kBad,
            kBad + 512,
            {{999 * 512, 512, false}, {1000 * 512, 512, true}, {1007 * 512, 512, true}, {1008 * 512, 512, false}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultFsTest, ShortReadsReturnAtMostTheLimit) {
  const std::uint64_t size = 256 * 1024 + 77;
  FaultFile& f = add("disk.img", size);
  f.limitReadSize(1000);
  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  std::vector<std::uint8_t> all;
  for (std::uint64_t offset = 0;;) {
    const ReadResult r = readAt(fd.fd, offset, 65536);
    ASSERT_GE(r.n, 0);
    ASSERT_LE(r.n, 1000);
    if (r.n == 0) break;
    all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    offset += static_cast<std::uint64_t>(r.n);
  }
  EXPECT_EQ(all, f.expected(0, size));
  f.limitReadSize(0);
  EXPECT_EQ(readAt(fd.fd, 0, 65536).n, 65536);
}

TEST_F(FaultFsTest, StalledReadBlocksUntilRelease) {
  FaultFile& f = add("disk.img", kMiB);
  FaultFile& other = add("other.img", kMiB);
  f.stallAt(200000);
  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  std::atomic<bool> done{false};
  ReadResult result{};
  std::jthread reader([&] {
    result = readAt(fd.fd, 196608, 65536);
    done = true;
  });
  ReleaseOnExit releaser{f};
  ASSERT_TRUE(f.waitUntilStalled());
  EXPECT_FALSE(done);
  EXPECT_EQ(f.stalledReads(), 1u);
  // The rest of the filesystem is not held up by the stalled read.
  EXPECT_EQ(readAt(fd.fd, 0, 4096).bytes, f.expected(0, 4096));
  Fd otherFd(other.path());
  EXPECT_EQ(readAt(otherFd.fd, 196608, 65536).bytes, other.expected(196608, 65536));
  EXPECT_FALSE(done);

  f.release();
  reader.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(result.bytes, f.expected(196608, 65536));
  EXPECT_EQ(f.stalledReads(), 0u);
}

void ignoreSignal(int) {}

TEST_F(FaultFsTest, StalledReadEndsWithEintrOnASignal) {
  struct sigaction sa {};
  sa.sa_handler = ignoreSignal;  // no SA_RESTART: the read returns EINTR
  struct sigaction old {};
  ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);
  FaultFile& f = add("disk.img", kMiB);
  f.stallAt(0);
  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  ReadResult result{};
  std::jthread reader([&] { result = readAt(fd.fd, 0, 4096); });
  ReleaseOnExit releaser{f};
  ASSERT_TRUE(f.waitUntilStalled());
  ASSERT_EQ(::pthread_kill(reader.native_handle(), SIGUSR1), 0);
  reader.join();
  ::sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(result.n, -1);
  EXPECT_EQ(result.error, EINTR);
  EXPECT_EQ(f.stalledReads(), 0u);
}

TEST_F(FaultFsTest, UnmountingLetsStalledReadsGo) {
  FaultFile& f = add("disk.img", kMiB);
  f.stallAt(0);
  ReadResult result{};
  std::jthread reader([&, path = f.path()] {
    Fd fd(path);
    result = readAt(fd.fd, 0, 4096);
  });
  ASSERT_TRUE(f.waitUntilStalled());
  fsys.reset();  // releases, and waits for the reader to close its file
  reader.join();
  EXPECT_EQ(result.n, 4096);
  EXPECT_FALSE(isMounted(mountPoint));
}

TEST_F(FaultFsTest, ThrottledFileIsNoFasterThanItsRate) {
  FaultFile& f = add("disk.img", 4 * kMiB);
  f.throttle({.bytesPerSecond = 8'000'000, .minLatency = 100us, .maxLatency = 2ms, .seed = 7});
  Fd fd(f.path());
  ASSERT_GE(fd.fd, 0);
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t offset = 0; offset < kMiB; offset += 65536)
    ASSERT_EQ(readAt(fd.fd, offset, 65536).bytes, f.expected(offset, 65536));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  // 1 MiB at 8 MB/s is 131 ms at least, plus 16 latencies of 0.1 ms or more.
  EXPECT_GE(took.count(), 0.13);
  EXPECT_LT(took.count(), 10.0) << "a loose sanity bound only; speed is the bench's";
  EXPECT_EQ(f.readCount(), 16u);
}

TEST_F(LoopOverFuseTest, AttachesReadOnlyAndGivesThePattern) {
  FaultFile& f = add("disk.img", 8 * kMiB);
  loop.emplace(f.path());
  EXPECT_TRUE(loop->readOnly());
  EXPECT_EQ(loop->logicalBlockSize(), 512u);
  EXPECT_FALSE(loop->directIo());
  Fd writer(loop->path(), O_WRONLY | O_DIRECT);
  if (writer.fd >= 0) {  // the kernel may open it, but never writes to it
    AlignedBuffer zeros(512);
    EXPECT_EQ(::pwrite(writer.fd, zeros.data.get(), 512, 0), -1);
  }

  Fd fd(loop->path(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd.fd, 0);
  for (const std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{512}, std::uint64_t{4096 * 3}, 8 * kMiB - 131072})
    EXPECT_EQ(readAt(fd.fd, offset, 131072).bytes, f.expected(offset, 131072)) << "at " << offset;
  EXPECT_EQ(readAt(fd.fd, 8 * kMiB, 512).n, 0);
}

// Without direct I/O the loop driver reads its file in one worker, one
// request after another, so a stalled sector holds up the whole device, as a
// hung drive does; with direct I/O requests run side by side.
class LoopStallTest : public LoopOverFuseTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LoopStallTest, StalledSectorBlocksTheDeviceReader) {
  const bool directIo = GetParam();
  FaultFile& f = add("disk.img", 8 * kMiB);
  const std::uint64_t at = 5000 * 512;
  f.stallAt(at);
  loop.emplace(f.path(), LoopOptions{.directIo = directIo});
  ASSERT_EQ(loop->directIo(), directIo);
  Fd fd(loop->path(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd.fd, 0);
  std::atomic<bool> stalledDone{false}, otherDone{false};
  ReadResult stalled{}, other{};
  std::jthread reader([&] {
    stalled = readAt(fd.fd, at, 4096);
    stalledDone = true;
  });
  std::optional<std::jthread> otherReader;
  ReleaseOnExit releaser{f};
  ASSERT_TRUE(f.waitUntilStalled());
  EXPECT_FALSE(stalledDone);
  otherReader.emplace([&] {
    other = readAt(fd.fd, 0, 4096);
    otherDone = true;
  });
  if (directIo) {
    otherReader->join();
    EXPECT_TRUE(otherDone);
  } else {
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(otherDone) << "a read of another sector passed the stalled one";
  }
  EXPECT_FALSE(stalledDone);
  f.release();
  reader.join();
  if (otherReader->joinable()) otherReader->join();
  EXPECT_EQ(stalled.bytes, f.expected(at, 4096));
  EXPECT_EQ(other.bytes, f.expected(0, 4096));
}

INSTANTIATE_TEST_SUITE_P(DirectIo, LoopStallTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "directIo" : "queued"; });

TEST_F(LoopOverFuseTest, ShortReadsOfTheFileAreContinuedByTheLoopDriver) {
  FaultFile& f = add("disk.img", 2 * kMiB);
  f.limitReadSize(4608);
  loop.emplace(f.path());
  Fd fd(loop->path(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd.fd, 0);
  f.takeReads();
  EXPECT_EQ(readAt(fd.fd, 65536, 65536).bytes, f.expected(65536, 65536));
  const std::vector<ReadRequest> reads = f.takeReads();
  EXPECT_EQ(reads.size(), 15u) << "the 64 KiB request reached the file in reads of 4608 bytes";
}

// Powers of two from 512 to the page size; the kernel refuses 520.
class LoopBlockSizeTest : public LoopOverFuseTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(LoopBlockSizeTest, TakesPowersOfTwoOnly) {
  const std::uint32_t blockSize = GetParam();
  FaultFile& f = add("disk.img", 4 * kMiB);
  if (blockSize == 520) {
    try {
      loop.emplace(f.path(), LoopOptions{.blockSize = 520});
      ADD_FAILURE() << "the kernel took a 520-byte block size";
    } catch (const std::system_error& e) { EXPECT_EQ(e.code().value(), EINVAL) << e.what(); }
    EXPECT_FALSE(loop.has_value());
    return;
  }
  loop.emplace(f.path(), LoopOptions{.blockSize = blockSize});
  EXPECT_EQ(loop->logicalBlockSize(), blockSize);
  Fd fd(loop->path(), O_RDONLY | O_DIRECT);
  ASSERT_GE(fd.fd, 0);
  EXPECT_EQ(readAt(fd.fd, blockSize * 3, blockSize).bytes, f.expected(blockSize * 3, blockSize));
  if (blockSize > 512) { EXPECT_EQ(readAt(fd.fd, 512, 512).error, EINVAL) << "reads smaller than a block"; }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LoopBlockSizeTest, ::testing::Values(512u, 1024u, 2048u, 4096u, 520u),
                         [](const auto& info) { return "bytes" + std::to_string(info.param); });

TEST_F(LoopOverFuseTest, NothingIsLeftAttachedOrMounted) {
  FaultFile& f = add("disk.img", kMiB);
  loop.emplace(f.path());
  const std::string name = loop->name();
  EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{name});
  EXPECT_TRUE(isMounted(mountPoint));
  loop.reset();
  EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{});
  fsys.reset();
  EXPECT_FALSE(isMounted(mountPoint));
  EXPECT_FALSE(fs::exists(mountPoint));
}

}  // namespace
}  // namespace mdi::fusedev
