// What happens between pressing Run and the first block: the checks, their
// messages, and what each leaves behind.
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

using RunStart = RunFixture;

TEST_F(RunStart, NoTargetOffersSetTargetThenRefuses) {
  form.run.TargetFolder.clear();
  addFileJob(src("a.img", patternBytes(1000, 1)));
  controller.RunClicked();
  ASSERT_EQ(pickers.folderTitles.size(), 1u);
  EXPECT_EQ(pickers.folderTitles[0], "Select Target Folder");
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, "No target folder selected.");
  EXPECT_EQ(msg.shown[0].title, "Error");
  EXPECT_TRUE(msg.shown[0].systemModal);
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_FALSE(form.running);
  EXPECT_TRUE(files.creates.empty());
}

TEST_F(RunStart, RelativeTargetOpensSetTargetAndUsesTheChosenFolder) {
  form.run.TargetFolder = "Images";
  pickers.folders = {(dir / "chosen").string()};
  const int row = addFileJob(src("a.img", patternBytes(1000, 1)));
  form.iGrid2.setValue(row, JobCol::FileName, (dir / "chosen" / "001.bin").string());
  controller.RunClicked();
  EXPECT_EQ(form.run.TargetFolder, (dir / "chosen").string() + "/");
  EXPECT_EQ(readFile(dir / "chosen" / "001.bin"), patternBytes(1000, 1));
}

TEST_F(RunStart, EmptyJobList) {
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, "Please select drives to image.");
  EXPECT_EQ(msg.shown[0].title, "No drives selected.");
  EXPECT_EQ(msg.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_FALSE(form.running);
}

TEST_F(RunStart, NotEnoughSpaceAskedOnceAndNoStopsBeforeAnyFile) {
  fsys.free = 10;
  addFileJob(src("a.img", patternBytes(1000, 1)));
  addFileJob(src("b.img", patternBytes(1000, 2)));
  msg.answer("Warning!", MsgAnswer::No);
  controller.RunClicked();
  EXPECT_EQ(msg.count("Warning!"), 1);
  EXPECT_EQ(msg.shown[0].text, "There is not enough space on the target drive. Do you want to continue?");
  EXPECT_TRUE(files.creates.empty());
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_TRUE(ui.isEnabled(Ctl::Command2));
  EXPECT_FALSE(form.running);
}

TEST_F(RunStart, NotEnoughSpaceYesPreparesEveryJob) {
  fsys.free = 10;
  addFileJob(src("a.img", patternBytes(1000, 1)));
  addFileJob(src("b.img", patternBytes(3000, 2)));
  controller.RunClicked();
  EXPECT_EQ(msg.count("Warning!"), 1);
  EXPECT_EQ(readFile(output(1)), patternBytes(1000, 1));
  EXPECT_EQ(readFile(output(2)), patternBytes(3000, 2));
}

TEST_F(RunStart, TargetOnASourceDriveIsRefused) {
  const auto disk = src("disk0", patternBytes(4096, 3));
  drives.add(0, {{"/dev/fake0", 4096, "id0"}, disk, 0x0800, ""});
  drives.setDrivesUnder(dir.string(), {0});
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, std::int64_t{0});
  form.iGrid2.setValue(row, JobCol::SizeI, std::int64_t{4096});
  form.iGrid2.setValue(row, JobCol::FileName, defaultOutputName(row, form.run.TargetFolder));
  controller.RunClicked();
  ASSERT_EQ(msg.count("Error"), 1);
  EXPECT_EQ(msg.shown.back().text, "The target is one of the source drives, this will cause problems.");
  EXPECT_TRUE(files.creates.empty());
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_FALSE(form.running);
}

TEST_F(RunStart, TargetElsewhereWithDriveSourceImagesTheDrive) {
  const auto disk = src("disk0", patternBytes(300000, 3));
  drives.add(0, {{"/dev/fake0", 300000, "id0"}, disk, 0x0800, ""});
  drives.setDrivesUnder("/somewhere/else", {0});
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, " 0 ");
  form.iGrid2.setValue(row, JobCol::SizeI, std::int64_t{300000});
  form.iGrid2.setValue(row, JobCol::FileName, defaultOutputName(row, form.run.TargetFolder));
  controller.RunClicked();
  EXPECT_EQ(drives.opened, std::vector<int>{0});
  EXPECT_EQ(readFile(output(1)), patternBytes(300000, 3));
  EXPECT_EQ(status(1), "Done.");
}

TEST_F(RunStart, ChangedDriveIsRefused) {
  drives.add(2, {{"/dev/fake2", 4096, "id2"}, src("d2", patternBytes(10, 1)), 1, "the drive at /dev/fake2 has changed since it was listed"});
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, std::int64_t{2});
  form.iGrid2.setValue(row, JobCol::FileName, defaultOutputName(row, form.run.TargetFolder));
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_NE(msg.shown[0].text.find("has changed since it was listed"), std::string::npos);
  EXPECT_TRUE(drives.opened.empty());
  EXPECT_FALSE(form.running);
}

TEST_F(RunStart, ExistingOutputTruncatedOnlyAfterYes) {
  const auto data = patternBytes(5000, 4);
  addFileJob(src("a.img", data));
  writeFile(output(1), patternBytes(99999, 9));
  msg.answer("File exists", MsgAnswer::No);
  controller.RunClicked();
  ASSERT_EQ(msg.count("File exists"), 1);
  EXPECT_EQ(msg.shown[0].text, "The file " + output(1) +
                                   " already exists and will be overwritten. Are you sure you want to do this?");
  EXPECT_EQ(msg.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(readFile(output(1)), patternBytes(99999, 9)) << "declined overwrite must leave the file alone";
  EXPECT_EQ(status(1), "Not imaged");
  EXPECT_EQ(ui.statusText(1), "Process Complete");
  EXPECT_TRUE(ui.closeAllowed);

  msg.answer("File exists", MsgAnswer::Yes);
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), data);
}

TEST_F(RunStart, OverwriteAskedPerJobAfterEarlierJobsArePrepared) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  addFileJob(src("b.img", patternBytes(1000, 2)));
  writeFile(output(2), patternBytes(10, 9));
  msg.onShow = [&](const Message& m) {
    if (m.title == "File exists") {
      EXPECT_EQ(fs::file_size(output(1)), 1000u) << "job 1 is pre-sized before job 2 is asked about";
      EXPECT_EQ(status(1), "Imaging");
    }
  };
  msg.answer("File exists", MsgAnswer::No);
  controller.RunClicked();
  EXPECT_EQ(msg.count("File exists"), 1);
  EXPECT_EQ(status(1), "Not imaged");
  EXPECT_EQ(status(2), "Not imaged");
}

TEST_F(RunStart, PreSizedOutputHasTheJobSizeInZerosBeforeCopying) {
  addFileJob(src("a.img", patternBytes(3000, 1)), 200000);
  std::vector<std::byte> seen;
  pump.at(1, [&] { seen = readFile(output(1)); });
  controller.RunClicked();
  ASSERT_EQ(seen.size(), 200000u);
  // After the first block the first 3000 bytes are data and the rest zeros.
  EXPECT_TRUE(std::all_of(seen.begin() + 3000, seen.end(), [](std::byte b) { return b == std::byte{0}; }));
  EXPECT_EQ(fs::file_size(output(1)), 3000u) << "at the end the image is what was copied";
}

TEST_F(RunStart, ZeroByteJobGetsAnEmptyFile) {
  addFileJob(src("empty.img", {}));
  controller.RunClicked();
  EXPECT_EQ(fs::file_size(output(1)), 0u);
  EXPECT_EQ(status(1), "Done.");
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
}

TEST_F(RunStart, LargestBlocksTotalBytesAndProgressMaximum) {
  addFileJob(src("a.img", patternBytes(10, 1)), 131072000);
  addFileJob(src("b.img", patternBytes(10, 2)), 5);
  form.iGrid2.setValue(1, JobCol::FileName, (dir / "out" / "a.bin").string());
  // Stop in the first cycle: only the run's sizing is of interest here.
  pressStopAt(1);
  controller.RunClicked();
  EXPECT_EQ(form.run.LargestBlocks.raw(), 1000 * 10000);
  EXPECT_EQ(form.run.TotalBytes, 131203072);
  EXPECT_EQ(ui.progressMaximum(), 1001);
}

TEST_F(RunStart, AllSizesZeroGiveOneBlockAndNoBar) {
  addFileJob(src("a.img", {}));
  controller.RunClicked();
  EXPECT_EQ(form.run.LargestBlocks.raw(), 0);
  EXPECT_EQ(form.run.TotalBytes, 131072);
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "visible ProgBarXP1 1"), 0);
}

// Refusals: nothing opened, nothing truncated, window not locked.
struct Refusal {
  const char* name;
  std::function<void(RunFixture&)> arrange;
  const char* textPart;
};

class RunRefusal : public RunFixture, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RunRefusal, RefusedWithAMessageNamingTheJob) {
  GetParam().arrange(*this);
  const auto before = fs::exists(dir / "keep.img") ? readFile(dir / "keep.img") : std::vector<std::byte>{};
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].title, "Error");
  EXPECT_NE(msg.shown[0].text.find(GetParam().textPart), std::string::npos) << msg.shown[0].text;
  EXPECT_TRUE(files.creates.empty());
  EXPECT_FALSE(form.running);
  EXPECT_TRUE(ui.closeAllowed);
  if (fs::exists(dir / "keep.img")) {
    EXPECT_EQ(readFile(dir / "keep.img"), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RunRefusal, ::testing::Values(
    Refusal{"DuplicateOutput", [](RunFixture& f) {
      f.addFileJob(f.src("a.img", patternBytes(100, 1)));
      f.addFileJob(f.src("b.img", patternBytes(100, 2)));
      f.form.iGrid2.setValue(2, JobCol::FileName, f.output(1));
    }, "would both write to"},
    Refusal{"DuplicateOutputThroughDotDot", [](RunFixture& f) {
      f.addFileJob(f.src("a.img", patternBytes(100, 1)));
      f.addFileJob(f.src("b.img", patternBytes(100, 2)));
      f.form.iGrid2.setValue(2, JobCol::FileName, (f.dir / "out" / ".." / "out" / "001.bin").string());
    }, "would both write to"},
    Refusal{"OutputIsAnImageSource", [](RunFixture& f) {
      f.addFileJob(f.src("keep.img", patternBytes(100, 1)));
      f.form.iGrid2.setValue(1, JobCol::FileName, (f.dir / "keep.img").string());
    }, "is the source of job"},
    Refusal{"OutputIsADevice", [](RunFixture& f) {
      f.addFileJob(f.src("a.img", patternBytes(100, 1)));
      f.form.iGrid2.setValue(1, JobCol::FileName, "/dev/null");
    }, "is not a regular file"},
    Refusal{"OutputIsADrivesNode", [](RunFixture& f) {
      f.drives.add(0, {{(f.dir / "node0").string(), 100, "id"}, f.src("node0", patternBytes(100, 1)), 7, ""});
      const int row = f.form.iGrid2.addRow();
      f.form.iGrid2.setValue(row, JobCol::ID, std::int64_t{0});
      f.form.iGrid2.setValue(row, JobCol::FileName, (f.dir / "node0").string());
    }, "is the source of job"},
    Refusal{"RelativeOutputName", [](RunFixture& f) {
      f.addFileJob(f.src("a.img", patternBytes(100, 1)));
      f.form.iGrid2.setValue(1, JobCol::FileName, "abc.bin");
    }, "is not a full path"},
    Refusal{"BadIdCell", [](RunFixture& f) {
      f.addFileJob(f.src("a.img", patternBytes(100, 1)));
      f.form.iGrid2.setValue(1, JobCol::ID, "x7");
    }, "has no valid source"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi::test
