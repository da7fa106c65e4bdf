// Runs from sources that misbehave the way real devices do: files of the
// tests' own FUSE filesystem whose reads come back short, fail or stall,
// and loop devices over them. The filesystem's files are read-only, a loop
// device over one is too, and nothing stays attached or mounted afterwards.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <thread>

#include "tests/engine/RunOracle.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace mdi::test {
namespace {

using fusedev::FaultFile;
using fusedev::FaultFs;
using mdi::PrintTo;

// A run fixture with the fault filesystem mounted (skipped where it cannot be).
template <class Base>
class OnFaultFs : public Base {
 public:
  void SetUp() override {
    Base::SetUp();
    if (this->IsSkipped()) return;
    if (auto why = FaultFs::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    faults.emplace(testDir("mdi-faultfs-"));
  }
  void TearDown() override {
    loop.reset();  // before the filesystem it reads
    if (faults) {
      const fs::path mountPoint = faults->mountPoint();
      EXPECT_EQ(loopDevicesUnder(mountPoint), std::vector<std::string>{});
      faults.reset();
      EXPECT_FALSE(fs::exists(mountPoint));
    }
    Base::TearDown();
  }
  std::optional<FaultFs> faults;
  std::optional<LoopDevice> loop;
};
using FaultDeviceRun = OnFaultFs<RunFixture>;

// Runs of the reference model (RunModel.h) from the fault device: a file
// whose every read brings at most 100 bytes, less than a sector (a mutate
// job from 520-byte sectors converts what each read brings from a sector
// boundary, so a short read not taken up again where it stopped would cut
// a sector in two and shift every sector after it), and loop devices whose
// backing file fails at chosen sectors: the kernel's page cache, read-ahead
// and direct reads lie between the program and the failing sectors.
class FaultDeviceOracle : public OnFaultFs<RunOracle> {
 public:
  void SetUp() override {
    OnFaultFs::SetUp();
    if (IsSkipped() || GetParam().from != From::FaultLoop) return;
    if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  }
  Made makeSource(const Row& r) override {
    file = &faults->add({.name = "disk.img", .size = r.bytes});
    std::string path = file->path().string();
    EXPECT_EQ(::open(path.c_str(), O_WRONLY | O_CLOEXEC), -1) << "the files are read-only";
    if (r.from == From::FaultFile) {
      file->limitReadSize(100);
      // A read really comes back short: a run over a file that ignored its limit would still pass.
      std::vector<char> buf(65536);
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      const ssize_t n = ::pread(fd, buf.data(), buf.size(), 0);
      EXPECT_TRUE(n > 0 && n <= 100) << n;
      ::close(fd);
    }
    for (const BadRange& b : r.bad) file->failReads(b.begin, b.end);
    if (r.from == From::FaultLoop) path = loop.emplace(file->path()).path().string();
    addFileJob(path, static_cast<std::int64_t>(r.bytes), std::to_string(r.s()), std::to_string(r.t));
    const auto expected = file->expected(0, r.bytes);
    const auto bytes = std::as_bytes(std::span(expected));
    return {{bytes.begin(), bytes.end()}, path};
  }
  FaultFile* file = nullptr;
};

TEST_P(FaultDeviceOracle, EndsAsTheModelPredicts) {
  check(GetParam());
  // Going past read errors, the drive is read past the page cache from the
  // start: its bad sectors see the sweep's read and trim's (and scraping's,
  // inside the area) and nothing of the kernel's read-ahead.
  if (GetParam().goPast) { EXPECT_EQ(file->failedReadCount(), 2u + (1 + 2 + 14) + 2); }
}
constexpr std::uint64_t kSize = 8 << 20;
const Row kRows[] = {
    {.name = "ShortReadsStraight", .from = From::FaultFile, .bytes = 3 * 131072 + 4000},
    {.name = "ShortReadsMutate520", .from = From::FaultFile, .mutate = 520, .bytes = 3 * 131072 + 4000},
    {.name = "ReadErrorOnALoopDevice",
     .from = From::FaultLoop,
     .bytes = kSize,
     .bad = {unreadable(3158016)},
     .others = kBeside},
    {.name = "GoingPastReadErrorsOnALoopDevice",
     .from = From::FaultLoop,
     .bytes = kSize,
     .bad = {unreadable(3158016, 512, true, 0), unreadable(6 << 20, 8192, true, 0),
             unreadable(kSize - 512, 512, true, 0)},
     .goPast = true,
     .others = kBeside},
};
INSTANTIATE_TEST_SUITE_P(Sources, FaultDeviceOracle, ::testing::ValuesIn(kRows), ByName{});

// A source whose read at 4 MiB stalls, as a network share, a dying USB
// bridge or a failing disk does, beside a healthy job: the window keeps
// its events while the read is held, on either path, so Stop is answered
// and ends the run while the read is still held (else the watchdog lets
// the read go after 20 s and the test fails; a held mutate read is
// StuckDrive's).
struct HeldRead {
  const char* name;
  bool overLoop;
};
class HeldFaultRead : public FaultDeviceRun, public ::testing::WithParamInterface<HeldRead> {};

TEST_P(HeldFaultRead, StopEndsTheRunWhileTheReadIsHeld) {
  const HeldRead& c = GetParam();
  if (auto why = c.overLoop ? LoopDevice::unavailableReason() : ""; !why.empty()) GTEST_SKIP() << why;
  FaultFile& f = faults->add({.name = "held.img", .size = 8 << 20});
  f.stallAt(4 << 20);
  const std::string source = c.overLoop ? loop.emplace(f.path()).path().string() : f.path().string();
  const auto healthy = patternBytes(1 << 20, 3);
  addFileJob(source, 8 << 20);
  addFileJob(src("healthy.img", healthy));
  std::atomic<bool> letGo{false};
  std::jthread watchdog([&](std::stop_token st) {
    for (int i = 0; i < 200 && !st.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!st.stop_requested()) letGo = true;
    f.release();
  });
  stopOnceWhen([&] { return f.stalledReads() > 0 && status(2) == "Waiting ..."; });

  controller.RunClicked();

  EXPECT_TRUE(stopped) << "Stop was never answered while the read was held";
  EXPECT_FALSE(letGo) << "the run went on only once the read was let go";
  EXPECT_EQ(status(1), "Stopped");
  EXPECT_EQ(status(2), "Done.");
  EXPECT_TRUE(readFile(output(2)) == healthy);
  EXPECT_LE(fs::file_size(output(1)), std::uintmax_t{4} << 20);
}
INSTANTIATE_TEST_SUITE_P(Sources, HeldFaultRead,
                         ::testing::Values(HeldRead{"PlainFile", false}, HeldRead{"LoopDevice", true}), ByName{});

// A drive of 4,096-byte sectors cannot read less than one: going past read
// errors, a straight job trims and scrapes it a whole sector at a time, so
// its bad sector is read once by the sweep and once by trim, not once for
// each 512 bytes in it.
TEST_F(FaultDeviceRun, GoingPastReadErrorsReadsA4KnDriveWholeSectorsAtATime) {
  if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  constexpr std::uint64_t kSize = 4 << 20;
  FaultFile& f = faults->add({.name = "4kn.img", .size = kSize});
  f.failReads((1 << 20) + 1024, (1 << 20) + 1536);
  loop.emplace(f.path(), 4096);
  const std::string node = loop->path().string();
  // Listed as Add Image File(s) lists a block device.
  const auto listed = realFs.blockDevice(node);
  ASSERT_TRUE(listed && listed->logicalSectorSize == 4096);
  form.ListedDevices[node] = *listed;
  form.Options.goPastErrors = true;
  addFileJob(node, kSize);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Read Errors: 4,096 bytes unread");
  EXPECT_EQ(f.failedReadCount(), 2u);
  EXPECT_NE(fileText(output(1) + ".map").find("0x00100000  0x00001000  -\n"), std::string::npos);
}

}  // namespace
}  // namespace mdi::test
