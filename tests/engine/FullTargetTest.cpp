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

}  // namespace
}  // namespace mdi::test
