// What happens between pressing Run and the first block when the operator
// is asked: whether to overwrite, whether to go on when an output cannot be
// prepared, where a relative target goes. The checks that end a run are in
// RefusalTest; the run's sizing, the pre-sized outputs and a source that
// cannot be opened are rows of the run model (RunOracleTest).
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using Texts = std::vector<std::string>;

// ---- the overwrite question ------------------------------------------------

struct DeclineCase {
  const char* name;
  bool mutate;         // from 520-byte sectors, so each job also writes a .extra
  int declined;        // the job whose existing file the operator keeps
  const char* suffix;  // of that file: "" the image itself, or one beside it;
                       // nullptr: no file, its output cannot be prepared and going on is declined
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
  const bool prepareFails = c.suffix == nullptr;
  const std::string suffix = prepareFails ? "" : c.suffix, existing = output(c.declined) + suffix;
  const std::string title = prepareFails ? "Error" : "File exists";
  const int prepared = prepareFails ? c.declined : c.declined - 1;  // the outputs the run made
  if (prepareFails) files.failResize.insert(existing);
  else writeBytes(existing, patternBytes(1234, 99));
  msg.answer(title, MsgAnswer::No);
  // Each job is asked about in turn, the ones before it already prepared.
  msg.onShow = [&](const Message& m) {
    if (m.title != title) return;
    for (int row = 1; row < c.declined; ++row) {
      EXPECT_EQ(status(row), c.mutate ? "Imaging..." : "Imaging");
      EXPECT_EQ(fs::file_size(output(row)), c.mutate ? 0u : 300000u) << "a straight output is pre-sized";
    }
  };
  controller.RunClicked();
  ASSERT_EQ(msg.titles(), (c.mutate ? Texts{title, "Error"} : Texts{title}));
  EXPECT_EQ(msg.shown[0].text,
            prepareFails ? "Error attempting to prepare file. Check there is enough space on the media\nDo you want to "
                           "continue anyway?"
                         : "The file " + existing +
                               " already exists and will be overwritten. Are you sure you want to do this?");
  EXPECT_EQ(msg.shown[0].icon, prepareFails ? MsgIcon::None : MsgIcon::Question);
  EXPECT_EQ(msg.shown[0].systemModal, !prepareFails);
  if (!prepareFails) { EXPECT_EQ(readFile(existing), patternBytes(1234, 99)) << "the kept file is untouched"; }
  for (int row = 1; row <= 3; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(status(row), "Not imaged");
    if (row <= prepared) {
      EXPECT_EQ(fs::file_size(output(row)), 0u) << "prepared but never written: emptied, not left full of zeros";
    } else if (row > c.declined || !suffix.empty()) {
      EXPECT_FALSE(fs::exists(output(row)));
    }
    // An output the run made is recorded as such; the kept one, and those
    // never made, get nothing new beside them.
    if (row <= prepared) { EXPECT_EQ(field(record(row), "outcome"), "Not imaged"); }
    for (const char* beside : {".sha256", ".log", ".map"}) {
      if (row > prepared && output(row) + beside != existing) {
        EXPECT_FALSE(fs::exists(output(row) + beside)) << beside;
      }
    }
  }
  // The run completes as any other (the window unlocked as the run model
  // sees), without copying a block.
  EXPECT_EQ(ui.statusHistory, (c.mutate ? Texts{"Closing files..", "Process Complete"} : Texts{"Process Complete"}));
  EXPECT_EQ(pump.calls, 0) << "no block is copied";
  EXPECT_EQ(launcher.commands, Texts{"shutdown -P +1"});

  msg.onShow = nullptr;
  files.failResize.clear();
  msg.answer("File exists", MsgAnswer::Yes);
  controller.RunClicked();
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(status(row), "Done.");
    EXPECT_EQ(readFile(output(row)),
              layoutOracle(SectorLayout::DataFirst, c.mutate ? 520 : 512, 512, sources[row - 1]).image)
        << row;
  }
}
INSTANTIATE_TEST_SUITE_P(Jobs, DeclinedOverwrite,
                         // The first, one in the middle (jobs prepared before it, none after),
                         // and the record and map beside an image (the checksum and .extra come
                         // from the same list, which the refusals of a source written over see).
                         ::testing::Values(DeclineCase("StraightMiddle", false, 2, ""),
                                           DeclineCase("StraightRecordOfTheFirst", false, 1, ".log"),
                                           DeclineCase("StraightMapOfTheLast", false, 3, ".map"),
                                           DeclineCase("StraightPrepareErrorOfTheMiddle", false, 2, nullptr),
                                           DeclineCase("MutateFirst", true, 1, ""),
                                           DeclineCase("MutateRecordOfTheMiddle", true, 2, ".log")),
                         ByName{});

using RunStart = RunFixture;

// A target that is not a full path is chosen again at Run, and a name made
// without one follows it.
TEST_F(RunStart, RelativeTargetIsChosenAtRunAndNamesFollowIt) {
  form.run.TargetFolder = "Images";
  addFileJob(src("s.img", patternBytes(5000, 1)));
  form.iGrid2.setValue(1, JobCol::FileName, defaultOutputName(1, ""));
  EXPECT_EQ(output(1), "001.bin");
  pickers.folders = {(dir / "chosen").string()};
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(form.run.TargetFolder, (dir / "chosen").string() + "/");
  EXPECT_EQ(output(1), (dir / "chosen" / "001.bin").string());
  EXPECT_EQ(files.creates, (std::map<std::string, int>{{output(1), 1}}));
  EXPECT_EQ(readFile(output(1)), patternBytes(5000, 1));
  EXPECT_FALSE(fs::exists("/001.bin"));
}

}  // namespace
}  // namespace mdi::test
