// Runs from sources that misbehave the way real devices do: a file whose
// reads come back short, and a loop device whose backing file fails at a
// chosen sector. Both I/O paths (ctest runs this binary twice).
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

#include "tests/engine/RunFixture.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace mdi::test {
namespace {

using fusedev::FaultFile;
using fusedev::FaultFs;

std::vector<std::byte> asBytes(const std::vector<std::uint8_t>& v) {
  std::vector<std::byte> out(v.size());
  std::memcpy(out.data(), v.data(), v.size());
  return out;
}

class FaultDeviceRun : public RunFixture {
 public:
  void SetUp() override {
    RunFixture::SetUp();
    if (IsSkipped()) return;
    if (auto why = FaultFs::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
    faults.emplace(testDir("mdi-faultfs-"));
  }
  void TearDown() override {
    loop.reset();  // before the filesystem it reads
    faults.reset();
    RunFixture::TearDown();
  }
  std::optional<FaultFs> faults;
  std::optional<LoopDevice> loop;
};

// Every read of the file brings at most 100 bytes, less than a sector. A
// mutate job from 520-byte sectors converts what each read brings from a
// sector boundary, so a short read not taken up again where it stopped
// would cut a sector in two and shift every sector after it.
TEST_F(FaultDeviceRun, ShortReadsBeforeTheEndAreContinuedNotTakenAsTheEnd) {
  for (bool mutate : {false, true}) {
    SCOPED_TRACE(mutate ? "sector mutate" : "straight");
    ui.setChecked(Ctl::Check2, mutate);
    const std::string name = mutate ? "m.img" : "s.img";
    FaultFile& f = faults->add({.name = name, .size = 3 * 131072 + 4000});
    f.limitReadSize(100);
    form.iGrid2.removeRows(1, form.iGrid2.rowCount());
    addFileJob(f.path().string(), -1, mutate ? "520" : "512", "512");
    controller.RunClicked();
    EXPECT_EQ(status(1), "Done.");
    const Bytes source = asBytes(f.expected(0, f.size()));
    const Bytes got = readFile(output(1));
    const Bytes want = mutate ? imageOf(source, 520, 512) : source;
    EXPECT_TRUE(got == want) << firstDifference(got, want);
    fs::remove(output(1));
    fs::remove(extraOf(1));
  }
}

// A source whose read at 4 MiB stalls, as a network share, a dying USB
// bridge or a failing disk does, beside a healthy job: the window keeps
// its events while the read is held, on either path, so Stop is answered
// and ends the run while the read is still held. A window that waits in
// the read, or in handing it to the kernel, never sees the stall; the
// watchdog then lets the read go after 20 s and the test fails.
void stopWhileAReadIsHeld(FaultDeviceRun& t, std::optional<LoopDevice>& loop, FaultFs& faults, bool overLoop) {
  for (bool mutate : {false, true}) {
    SCOPED_TRACE(mutate ? "sector mutate" : "straight");
    t.setMutate(mutate);
    t.stopped = false;
    const std::string name = std::string(mutate ? "m" : "s") + (overLoop ? "-loop.img" : ".img");
    FaultFile& f = faults.add({.name = name, .size = 8 << 20});
    f.stallAt(4 << 20);
    if (overLoop) loop.emplace(f.path());
    const std::string source = overLoop ? loop->path().string() : f.path().string();
    const auto healthy = patternBytes(1 << 20, 3);
    t.form.iGrid2.removeRows(1, t.form.iGrid2.rowCount());
    t.addFileJob(source, 8 << 20);
    t.addFileJob(t.src(name + ".ok", healthy));
    std::atomic<bool> letGo{false};
    std::jthread watchdog([&](std::stop_token st) {
      for (int i = 0; i < 200 && !st.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!st.stop_requested()) letGo = true;
      f.release();
    });
    t.stopOnceWhen([&] { return f.stalledReads() > 0 && t.status(2) == "Waiting ..."; });

    t.controller.RunClicked();

    EXPECT_TRUE(t.stopped) << "Stop was never answered while the read was held";
    EXPECT_FALSE(letGo) << "the run went on only once the read was let go";
    EXPECT_EQ(t.status(1), "Stopped");
    EXPECT_EQ(t.status(2), "Done.");
    EXPECT_TRUE(readFile(t.output(2)) == healthy);
    EXPECT_LE(fs::file_size(t.output(1)), std::uintmax_t{4} << 20);
    watchdog.request_stop();
    f.release();
    watchdog.join();
    loop.reset();
    for (int row : {1, 2})
      for (const char* beside : {"", ".sha256", ".log", ".map"}) fs::remove(t.output(row) + beside);
  }
}

TEST_F(FaultDeviceRun, StopEndsTheRunWhileAPlainFileReadIsHeld) { stopWhileAReadIsHeld(*this, loop, *faults, false); }

TEST_F(FaultDeviceRun, StopEndsTheRunWhileALoopDeviceReadIsHeld) {
  if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  stopWhileAReadIsHeld(*this, loop, *faults, true);
}

TEST_F(FaultDeviceRun, ReadErrorOnALoopDeviceKeepsEveryReadableByte) {
  if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  const std::uint64_t badAt = 3158016;
  FaultFile& f = faults->add({.name = "disk.img", .size = 8 << 20});
  f.failReads(badAt, badAt + 512);
  loop.emplace(f.path());
  addFileJob(loop->path().string(), 8 << 20);
  addFileJob(src("good.img", patternBytes(300000, 1)));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Read Error ... at byte 3,158,016");
  EXPECT_EQ(fs::file_size(output(1)), badAt);
  EXPECT_TRUE(readFile(output(1)) == asBytes(f.expected(0, badAt)));
  EXPECT_EQ(status(2), "Done.");
}

// Going past read errors on a real block device: the kernel's page cache,
// read-ahead and direct reads between the program and the failing
// sectors. Exactly the bad sectors are left unread, as zeros, and mapped.
TEST_F(FaultDeviceRun, GoingPastReadErrorsOnALoopDeviceLeavesOnlyTheBadSectorsUnread) {
  if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  constexpr std::uint64_t kSize = 8 << 20;
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> bad = {
      {3158016, 3158016 + 512}, {6 << 20, (6 << 20) + 8192}, {kSize - 512, kSize}};
  FaultFile& f = faults->add({.name = "disk.img", .size = kSize});
  for (const auto& [from, to] : bad) f.failReads(from, to);
  loop.emplace(f.path());
  form.Options.goPastErrors = true;
  addFileJob(loop->path().string(), kSize);
  const Bytes healthy = patternBytes(300000, 1);
  addFileJob(src("good.img", healthy));
  controller.RunClicked();

  EXPECT_EQ(status(1), "Read Errors: 9,216 bytes unread");
  // The drive is read past the page cache from the start: its bad sectors
  // see the sweep's read and trim's (and scraping's, inside the area) and
  // nothing of the kernel's read-ahead. 2 + (1 + 2 + 14) + 2.
  EXPECT_EQ(f.failedReadCount(), 21u);
  Bytes want = asBytes(f.expected(0, kSize));
  for (const auto& [from, to] : bad)
    std::fill(want.begin() + static_cast<long>(from), want.begin() + static_cast<long>(to), std::byte{0});
  const Bytes got = readFile(output(1));
  EXPECT_TRUE(got == want) << firstDifference(got, want);
  const std::string map = fileText(output(1) + ".map");
  for (const auto& [from, to] : bad) {
    char line[64];
    std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  -\n", static_cast<unsigned long long>(from),
                  static_cast<unsigned long long>(to - from));
    EXPECT_NE(map.find(line), std::string::npos) << line << " in\n" << map;
  }
  EXPECT_EQ(status(2), "Done.");
  EXPECT_TRUE(readFile(output(2)) == healthy);
}

// A drive of 4,096-byte sectors cannot read less than one: going past read
// errors, a straight job trims and scrapes it a whole sector at a time, so
// its bad sector is read once by the sweep and once by trim, not once for
// each 512 bytes in it.
TEST_F(FaultDeviceRun, GoingPastReadErrorsReadsA4KnDriveWholeSectorsAtATime) {
  if (auto why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  constexpr std::uint64_t kSize = 4 << 20;
  FaultFile& f = faults->add({.name = "4kn.img", .size = kSize});
  f.failReads((1 << 20) + 1024, (1 << 20) + 1536);
  loop.emplace(f.path(), LoopOptions{4096, false});
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
