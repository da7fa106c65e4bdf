// What happens between pressing Run and the first block when the operator
// is asked: whether to overwrite, whether to go on when an output cannot be
// prepared. The checks that end a run are in RefusalTest; the run's sizing
// and the pre-sized outputs in CompletedRunTest.
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using test::PrintTo;

using Texts = std::vector<std::string>;

// ---- the overwrite question ------------------------------------------------

struct DeclineCase {
  const char* name;
  bool mutate;         // from 520-byte sectors, so each job also writes a .extra
  int declined;        // the job whose existing file the operator keeps
  const char* suffix;  // of that file: "" the image itself, ".log", ".extra"
};

class DeclinedOverwrite : public RunFixture, public ::testing::WithParamInterface<DeclineCase> {};

TEST_P(DeclinedOverwrite, NoJobIsImagedUntilTheQuestionIsAnsweredYes) {
  const DeclineCase& c = GetParam();
  setMutate(c.mutate);
  ui.setChecked(Ctl::Check1, true);  // the shutdown still follows
  const std::string in = c.mutate ? "520" : "512";
  std::vector<Bytes> sources;
  for (int i = 1; i <= 3; ++i) {
    sources.push_back(patternBytes(300000, 10 + i));
    addFileJob(src("s" + std::to_string(i) + ".img", sources.back()), -1, in, "512");
  }
  const std::string existing = output(c.declined) + c.suffix;
  writeFile(existing, patternBytes(1234, 99));
  msg.answer("File exists", MsgAnswer::No);
  // Each job is asked about in turn, the ones before it already prepared.
  msg.onShow = [&](const Message& m) {
    if (m.title != "File exists") return;
    for (int row = 1; row < c.declined; ++row) {
      EXPECT_EQ(status(row), c.mutate ? "Imaging..." : "Imaging");
      EXPECT_EQ(fs::file_size(output(row)), c.mutate ? 0u : 300000u) << "a straight output is pre-sized";
    }
  };
  controller.RunClicked();
  ASSERT_EQ(msg.titles(), (c.mutate ? Texts{"File exists", "Error"} : Texts{"File exists"}));
  EXPECT_EQ(msg.shown[0].text,
            "The file " + existing + " already exists and will be overwritten. Are you sure you want to do this?");
  EXPECT_EQ(msg.shown[0].icon, MsgIcon::Question);
  EXPECT_TRUE(msg.shown[0].systemModal);
  EXPECT_EQ(readFile(existing), patternBytes(1234, 99)) << "the kept file is untouched";
  for (int row = 1; row <= 3; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(status(row), "Not imaged");
    if (row < c.declined) {
      EXPECT_EQ(fs::file_size(output(row)), 0u) << "prepared but never written: emptied, not left full of zeros";
    } else if (row > c.declined || *c.suffix) {
      EXPECT_FALSE(fs::exists(output(row)));
    }
  }
  EXPECT_EQ(ui.statusHistory, (c.mutate ? Texts{"Closing files..", "Process Complete"} : Texts{"Process Complete"}));
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_EQ(launcher.commands, Texts{"shutdown -P +1"});

  msg.onShow = nullptr;
  msg.answer("File exists", MsgAnswer::Yes);
  controller.RunClicked();
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(status(row), "Done.");
    EXPECT_EQ(readFile(output(row)), imageOf(sources[row - 1], c.mutate ? 520 : 512)) << row;
  }
}
INSTANTIATE_TEST_SUITE_P(Jobs, DeclinedOverwrite,
                         ::testing::Values(DeclineCase{"StraightFirst", false, 1, ""},
                                           DeclineCase{"StraightMiddle", false, 2, ""},
                                           DeclineCase{"StraightLast", false, 3, ""},
                                           DeclineCase{"StraightRecordOfTheFirst", false, 1, ".log"},
                                           DeclineCase{"MutateFirst", true, 1, ""},
                                           DeclineCase{"MutateMiddle", true, 2, ""},
                                           DeclineCase{"MutateLast", true, 3, ""},
                                           DeclineCase{"MutateExtraOfTheMiddle", true, 2, ".extra"},
                                           DeclineCase{"MutateRecordOfTheLast", true, 3, ".log"}),
                         ByName{});

using RunStart = RunFixture;

TEST_F(RunStart, PrepareErrorAnsweredNoClosesEverythingAndUnlocks) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  addFileJob(src("b.img", patternBytes(1000, 2)));
  files.failResize.insert(output(2));
  msg.answer("Error", MsgAnswer::No);
  controller.RunClicked();
  ASSERT_EQ(msg.count("Error"), 1);
  EXPECT_EQ(msg.shown[0].text,
            "Error attempting to prepare file. Check there is enough space on the media\nDo you want to continue anyway?");
  EXPECT_EQ(msg.shown[0].icon, MsgIcon::None);
  EXPECT_EQ(status(1), "Imaging");
  EXPECT_EQ(status(2), "");
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_EQ(pump.calls, 0);
}

// ---- runs that go on (until the completed-run table takes them) ----------

TEST_F(RunStart, RelativeTargetOpensSetTargetAndUsesTheChosenFolder) {
  form.run.TargetFolder = "Images";
  pickers.folders = {(dir / "chosen").string()};
  const int row = addFileJob(src("a.img", patternBytes(1000, 1)));
  form.iGrid2.setValue(row, JobCol::FileName, (dir / "chosen" / "001.bin").string());
  controller.RunClicked();
  EXPECT_EQ(form.run.TargetFolder, (dir / "chosen").string() + "/");
  EXPECT_EQ(readFile(dir / "chosen" / "001.bin"), patternBytes(1000, 1));
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

}  // namespace
}  // namespace mdi::test
