// Runs that go to their end on real files: every image is its source (or,
// sector mutate, the source converted), every job "Done.", every source
// opened read-only, with the statuses, status bar, cycles, window lock and
// the shutdown that follows in their order.
#include <fcntl.h>

#include "run/StepSize.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::size_t kBlock = 131072;
using Texts = std::vector<std::string>;

// Open descriptors of this process that name `path`, with their access mode.
std::vector<int> accessModesOf(const std::string& path) {
  std::vector<int> modes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(e.path(), ec) != fs::path(path) || ec) continue;
    std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
    for (std::string key, octal; info >> key;)
      if (key == "flags:" && info >> octal) modes.push_back(std::stoi(octal, nullptr, 8) & O_ACCMODE);
  }
  return modes;
}

struct Job {
  std::size_t bytes;
  const char* in = "512";
  const char* out = "512";
  std::int64_t declared = -1;  // the Size cell; -1 the source's length
};
class CopiesExactly;
struct CopyCase {
  const char* name;
  bool mutate;
  std::vector<Job> jobs;
  std::function<void(CopiesExactly&)> arrange = {};  // once the jobs are in
  Texts titles = {};                                 // of the messages shown
  std::function<void(CopiesExactly&)> also = {};     // more checks after the run
  std::int64_t totalBytes = 0;                       // the run's size; 0: not checked
  int bar = -1;                                      // the progress bar's maximum; 0: never shown; -1: not checked
};

class CopiesExactly : public RunFixture, public ::testing::WithParamInterface<CopyCase> {
 public:
  struct Expected {
    std::string path;
    Bytes source;
    std::size_t s, t;
  };
  std::vector<Expected> want;  // per job, in order
};

TEST_P(CopiesExactly, EveryImageIsItsSourceAndEveryJobDone) {
  const CopyCase& c = GetParam();
  setMutate(c.mutate);
  ui.setChecked(Ctl::Check1, true);  // shut down when done
  for (const Job& j : c.jobs) {
    const Bytes source = patternBytes(j.bytes, static_cast<unsigned>(want.size() + 1));
    const std::string path = src("s" + std::to_string(want.size()) + ".img", source);
    addFileJob(path, j.declared, j.in, j.out);
    want.push_back({path, source, std::stoul(j.in), std::stoul(j.out)});
  }
  if (c.arrange) c.arrange(*this);
  StatusTrail trail(form.iGrid2);
  bool lockedDuringRun = false;
  std::vector<std::vector<int>> openModes;  // of each source, read-only on every path
  pump.at(1, [&] {
    lockedDuringRun = !ui.closeAllowed && !ui.isEnabled(Ctl::Frame1) && !ui.isEnabled(Ctl::Frame3) &&
                      !form.iGrid2.acceptsInput() && !ui.isEnabled(Ctl::Command1) && !ui.isEnabled(Ctl::Command2) &&
                      ui.isEnabled(Ctl::XPButton1) && ui.isEnabled(Ctl::Timer1);
    for (const Expected& w : want) openModes.push_back(accessModesOf(w.path));
  });
  controller.RunClicked();
  const Texts each = c.mutate ? Texts{"Imaging...", "Waiting ...", "Finishing...", "Done."}
                              : Texts{"Preparing output file", "Imaging", "Waiting ...", "Finishing...", "Done."};
  for (int row = 1; row <= static_cast<int>(want.size()); ++row) {
    SCOPED_TRACE("job " + std::to_string(row));
    const Bytes image = readFile(output(row));
    const Bytes wanted =
        layoutOracle(SectorLayout::DataFirst, want[row - 1].s, want[row - 1].t, want[row - 1].source).image;
    EXPECT_TRUE(image == wanted) << firstDifference(image, wanted);
    EXPECT_EQ(trail.rows[row], each);
    ASSERT_EQ(openModes.size(), want.size());
    EXPECT_EQ(openModes[row - 1], std::vector<int>{O_RDONLY}) << "the source is open for reading only";
  }
  EXPECT_EQ(msg.titles(), c.titles);
  EXPECT_EQ(ui.statusHistory, (Texts{want.size() == 1 ? "Creating image" : "Creating images",
                                     c.mutate ? "Finishi" : "Finishing....", "Closing files..", "Process Complete"}));
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
  if (c.totalBytes) { EXPECT_EQ(form.run.TotalBytes, c.totalBytes); }
  if (c.bar > 0) { EXPECT_EQ(ui.progressMaximum(), c.bar); }
  if (c.bar == 0) { EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "visible ProgBarXP1 1"), 0); }
  // The window is locked for the run, and unlocked, in this order.
  EXPECT_TRUE(lockedDuringRun);
  Texts lockThenUnlock{"close 0",           "enable Frame1 0",    "enable Frame3 0", "enable Command1 0",
                       "enable Command2 0", "enable XPButton1 1", "enable Timer1 1"};
  const Texts unlock{"close 1",           "enable Frame1 1",    "enable Frame3 1", "enable Command1 1",
                     "enable Command2 1", "enable XPButton1 0", "enable Timer1 0"};
  lockThenUnlock.insert(lockThenUnlock.end(), unlock.begin(), unlock.end());
  Texts got;  // from the lock on (choosing a target at Run enables some before)
  std::copy_if(std::find(ui.log.begin(), ui.log.end(), "close 0"), ui.log.end(), std::back_inserter(got),
               [&](const std::string& l) { return std::count(lockThenUnlock.begin(), lockThenUnlock.end(), l) > 0; });
  EXPECT_EQ(got, lockThenUnlock);
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_TRUE(form.iGrid2.acceptsInput());
  // The shutdown comes after "Process Complete", and can be called off.
  EXPECT_EQ(launcher.commands, Texts{"shutdown -P +1"});
  EXPECT_TRUE(ui.isVisible(Ctl::Command6));
  const auto complete = std::find(ui.log.begin(), ui.log.end(), "status 1 Process Complete");
  EXPECT_LT(complete, std::find(ui.log.begin(), ui.log.end(), "visible Command6 1"));
  controller.AbortShutdownClicked();
  EXPECT_EQ(launcher.commands.back(), "shutdown -c");
  EXPECT_FALSE(ui.isVisible(Ctl::Command6));
  if (c.also) c.also(*this);
}

// A Stop answered No: the run goes on to its end.
void stopAnsweredNo(CopiesExactly& f) { f.pressStopAt(1, MsgAnswer::No); }
void stopQuestionAsked(CopiesExactly& f) {
  EXPECT_EQ(f.msg.shown[0].text, "Stop the imaging process, are you sure");
  EXPECT_TRUE(f.msg.shown[0].systemModal);
  EXPECT_EQ(f.form.run.StopRequested, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CopiesExactly,
    ::testing::Values(
        // The run is sized by its largest job, wherever it stands in the list,
        // and its cycles follow the job furthest behind: 22 main-pass cycles
        // (the 22nd reads nothing), then the finishing pass's one. Beside it,
        // jobs shorter than a block and than a sector.
        CopyCase(
            "LongAndShortSideBySide", false,
            {{10 * kBlock}, {20 * kBlock + 3 * 512 + 7}, {kBlock - 1}, {12345}, {0}, {1}, {511}, {513}}, {}, {},
            [](CopiesExactly& f) { EXPECT_EQ(f.form.run.BytesDone, 22 * std::int64_t{kBlock} + 512); },
            21 * std::int64_t{kBlock}),
        CopyCase("SourceLargerThanItsSizeGrowsTheImage", false, {{300000, "512", "512", 1000}}),
        // Pre-sized to the job's size (the jobs before a declined overwrite
        // show it), then cut to what was copied.
        CopyCase("SourceShorterThanItsSizeLeavesNoZeros", false, {{3000, "512", "512", 200000}}),
        // The run's size: blocks of the largest job, and one more.
        CopyCase("LargestJobSizesTheRun", false, {{10, "512", "512", 131072000}, {10, "512", "512", 5}}, {}, {}, {},
                 131203072, 1001),
        CopyCase("EmptyJobGivesOneBlockAndNoBar", false, {{0}}, {}, {}, {}, 131072, 0),
        CopyCase("NotEnoughSpaceAnsweredYes", false, {{1000}, {3000}}, [](CopiesExactly& f) { f.fsys.free = 10; },
                 {"Warning!"}),
        CopyCase("PrepareErrorAnsweredYes", false, {{1000}},
                 [](CopiesExactly& f) { f.files.failResize.insert(f.output(1)); }, {"Error"}),
        // A target that is not a full path is chosen again at Run, and a
        // name made without one follows it.
        CopyCase(
            "RelativeTargetIsChosenAtRunAndNamesFollowIt", false, {{5000}},
            [](CopiesExactly& f) {
              f.form.run.TargetFolder = "Images";
              f.form.iGrid2.setValue(1, JobCol::FileName, defaultOutputName(1, ""));
              EXPECT_EQ(f.output(1), "001.bin");
              f.pickers.folders = {(f.dir / "chosen").string()};
            },
            {},
            [](CopiesExactly& f) {
              EXPECT_EQ(f.form.run.TargetFolder, (f.dir / "chosen").string() + "/");
              EXPECT_EQ(f.output(1), (f.dir / "chosen" / "001.bin").string());
              EXPECT_EQ(f.files.creates, (std::map<std::string, int>{{f.output(1), 1}}));
              EXPECT_FALSE(fs::exists("/001.bin"));
            }),
        CopyCase("MutateStopAnsweredNo", true, {{3 * kBlock}}, stopAnsweredNo, {"Stop process?"}, stopQuestionAsked),
        // 2 x Int(300/65536 + 1) x the read size of job 2 (520 in): 2 x 1 x 66560.
        CopyCase("MutateLargestIsTheFirstOfEqualSizes", true, {{100}, {300, "520"}, {300}}, {}, {}, {}, 133120, 1)),
    ByName{});

using StraightRun = RunFixture;

TEST_F(StraightRun, AbortShutdownWithNothingPendingStillAsks) {
  controller.AbortShutdownClicked();
  EXPECT_EQ(launcher.commands, Texts{"shutdown -c"});
  EXPECT_FALSE(ui.isVisible(Ctl::Command6));
}

}  // namespace
}  // namespace mdi::test
