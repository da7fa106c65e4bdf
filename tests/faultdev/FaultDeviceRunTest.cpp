// Runs from sources that misbehave the way real devices do: a file whose
// reads come back short, and a loop device whose backing file fails at a
// chosen sector. Both I/O paths (ctest runs this binary twice).
#include <cstring>
#include <optional>

#include "platform/fakes/fusedev/FaultFs.h"
#include "platform/fakes/fusedev/LoopDevice.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

using fusedev::FaultFile;
using fusedev::FaultFs;
using fusedev::LoopDevice;

std::vector<std::byte> asBytes(const std::vector<std::uint8_t>& v) {
  std::vector<std::byte> out(v.size());
  std::memcpy(out.data(), v.data(), v.size());
  return out;
}

class FaultDeviceRun : public RunFixture {
 protected:
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

}  // namespace
}  // namespace mdi::test
