// A real filesystem that fills up mid-run: a 1 MiB tmpfs mounted by the
// test (root only; skipped with the reason elsewhere).
#include "tests/SmallTmpfs.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

class FullTarget : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    small = dir / "small";
    if (const std::string why = tmpfs.mount(small, "1m"); !why.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override {
    tmpfs.unmount();
    RunFixture::TearDown();
  }
  fs::path small;
  SmallTmpfs tmpfs;
};

TEST_F(FullTarget, JobOnTheFullFilesystemFailsOthersAreExact) {
  form.run.TargetFolder = small.string();
  const auto big = patternBytes(3 << 20, 1);
  const auto other = patternBytes((2 << 20) + 777, 2);
  addFileJob(src("big.img", big));
  addFileJob(src("other.img", other));
  form.iGrid2.setValue(2, JobCol::FileName, (dir / "out" / "other.bin").string());
  controller.RunClicked();
  EXPECT_EQ(msg.count("Warning!"), 1) << "free space is short and the operator is told";
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Done.");
  EXPECT_EQ(readFile(dir / "out" / "other.bin"), other);
  EXPECT_EQ(msg.count("Write Error"), 1);
}

}  // namespace
}  // namespace mdi::test
