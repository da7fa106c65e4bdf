// A real filesystem that fills up mid-run: a small tmpfs mounted by the
// test (root only; skipped with the reason elsewhere).
#include "tests/SmallTmpfs.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

class FullTarget : public RunFixture {
 protected:
  void TearDown() override {
    tmpfs.unmount();
    RunFixture::TearDown();
  }
  // The run-wide target on a tmpfs of `size`; "" when mounted, else why not.
  std::string targetOfSize(const std::string& size) {
    form.run.TargetFolder = (dir / "small").string();
    return tmpfs.mount(dir / "small", size);
  }
  SmallTmpfs tmpfs;
};

TEST_F(FullTarget, JobOnTheFullFilesystemFailsOthersAreExact) {
  if (const std::string why = targetOfSize("4m"); !why.empty()) GTEST_SKIP() << why;
  const auto other = patternBytes((8 << 20) + 777, 2);
  addFileJob(src("big.img", patternBytes(12 << 20, 1)));
  addFileJob(src("other.img", other));
  form.iGrid2.setValue(2, JobCol::FileName, (dir / "out" / "other.bin").string());
  controller.RunClicked();
  EXPECT_EQ(msg.count("Warning!"), 1) << "free space is short and the operator is told";
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Done.");
  EXPECT_EQ(readFile(dir / "out" / "other.bin"), other);
  EXPECT_EQ(msg.count("Write Error"), 1);
}

TEST_F(FullTarget, FullWhileTheRecordIsWrittenIsAWriteErrorWithNoPartialRecord) {
  if (const std::string why = targetOfSize("280k"); !why.empty()) GTEST_SKIP() << why;
  addFileJob(src("src.img", patternBytes(280 * 1024, 9)));  // fills the filesystem exactly
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  for (const auto& e : fs::directory_iterator(dir / "small")) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "001.bin" || fs::file_size(e.path()) > 0) << name;
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "no temporary left: " << name;
  }
  EXPECT_FALSE(fs::exists(dir / "small" / "001.bin.log")) << "no half-written record";
}

// The free-space question counts what the run will write: each image at
// its converted size, its .extra, and room for the records beside it.
struct SpaceCase {
  const char* name;
  bool mutate;
  const char* in;
  const char* out;
  std::size_t sourceBytes;
  std::uint64_t free;
  bool asks;
};
constexpr std::uint64_t kRecords = 64 * 1024;  // the allowance for a job's records
const SpaceCase kSpaceCases[] = {
    {"StraightRoomForImageAndRecords", false, "512", "512", 1 << 20, (1 << 20) + kRecords, false},
    {"StraightNoRoomForTheRecords", false, "512", "512", 1 << 20, 1 << 20, true},
    {"MutateToLargerSectorsRoomOnlyForTheSource", true, "512", "528", 2048 * 512, 2048 * 512 + kRecords, true},
    {"MutateWithItsExtraWithRoom", true, "520", "512", 2048 * 520, 2048 * 520 + kRecords, false},
    {"MutateRoomOnlyForTheImageNotItsExtra", true, "520", "512", 2048 * 520, 2048 * 512 + kRecords, true},
};

class FreeSpace : public RunFixture, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(FreeSpace, AsksWhenWhatIsWrittenDoesNotFit) {
  const SpaceCase& c = GetParam();
  setMutate(c.mutate);
  fsys.free = c.free;
  msg.answer("Warning!", MsgAnswer::No);
  addFileJob(src("a.img", patternBytes(c.sourceBytes, 1)), -1, c.in, c.out);
  controller.RunClicked();
  EXPECT_EQ(msg.count("Warning!"), c.asks ? 1 : 0);
  EXPECT_EQ(status(1), c.asks ? "" : "Done.");
}
INSTANTIATE_TEST_SUITE_P(Runs, FreeSpace, ::testing::ValuesIn(kSpaceCases), ByName{});

}  // namespace
}  // namespace mdi::test
