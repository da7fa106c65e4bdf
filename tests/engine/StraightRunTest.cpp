// Straight runs end to end on real files: bytes, statuses, cycles, Stop,
// shutdown and faults.
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

using StraightRun = RunFixture;
constexpr std::size_t kBlock = 131072;

class StraightSizes : public RunFixture, public ::testing::WithParamInterface<std::vector<std::size_t>> {};

TEST_P(StraightSizes, EveryOutputEqualsItsSource) {
  const auto sizes = GetParam();
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    addFileJob(src("s" + std::to_string(i) + ".img", patternBytes(sizes[i], static_cast<unsigned>(i + 1))));
  }
  controller.RunClicked();
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    EXPECT_EQ(readFile(output(row)), patternBytes(sizes[i], static_cast<unsigned>(i + 1))) << "job " << row;
    EXPECT_EQ(status(row), "Done.");
  }
  EXPECT_TRUE(msg.shown.empty());
  EXPECT_EQ(ui.statusText(1), "Process Complete");
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
}

INSTANTIATE_TEST_SUITE_P(Sizes, StraightSizes, ::testing::Values(
    std::vector<std::size_t>{100000},
    std::vector<std::size_t>{3 * kBlock},
    std::vector<std::size_t>{0, 1, 511, 513},
    std::vector<std::size_t>{10 * kBlock, 20 * kBlock + 3 * 512 + 7, kBlock - 1, 12345}));

TEST_F(StraightRun, ThousandBlocksTakeThousandAndOneCyclesThenOne) {
  addFileJob(src("big.img", patternBytes(1000 * kBlock, 5)));
  controller.RunClicked();
  // 1000 data cycles, the 1001st reads nothing; the finishing pass ends in
  // its first cycle.
  EXPECT_EQ(pump.calls, 1002);
  EXPECT_EQ(form.run.BytesDone, 1001 * static_cast<std::int64_t>(kBlock) + 512);
  EXPECT_EQ(fs::file_size(output(1)), 131072000u);
  EXPECT_EQ(ui.text(Ctl::Label5), "131,203,072");
}

TEST_F(StraightRun, StatusAndStatusBarSequence) {
  addFileJob(src("a.img", patternBytes(10 * kBlock, 1)));
  addFileJob(src("b.img", patternBytes(20 * kBlock, 2)));
  StatusTrail trail(form.iGrid2);
  controller.RunClicked();
  const std::vector<std::string> each{"Preparing output file", "Imaging", "Waiting ...", "Finishing...", "Done."};
  EXPECT_EQ(trail.rows[1], each);
  EXPECT_EQ(trail.rows[2], each);
  // The count of cycles follows the job furthest behind: 21 main-pass
  // cycles (the 21st reads nothing), then the finishing pass's one.
  EXPECT_EQ(form.run.BytesDone, 21 * static_cast<std::int64_t>(kBlock) + 512);
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"Creating images", "Finishing....", "Closing files..",
                                                         "Process Complete"}));
}

TEST_F(StraightRun, SourceLargerThanItsSizeGrowsTheImage) {
  addFileJob(src("a.img", patternBytes(300000, 1)), 1000);
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), patternBytes(300000, 1));
}

TEST_F(StraightRun, SourceShorterThanItsSizeGivesExactlyTheSource) {
  addFileJob(src("a.img", patternBytes(1000, 1)), 4096);
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), patternBytes(1000, 1)) << "no zeros of the pre-sizing are left behind";
  EXPECT_EQ(status(1), "Done.");
}

TEST_F(StraightRun, MissingSourceEndsReadError) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  addFileJob((dir / "missing.img").string(), 5000);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(status(2), "Read Error ... at byte 0");
  EXPECT_EQ(readFile(output(1)), patternBytes(1000, 1));
  EXPECT_EQ(fs::file_size(output(2)), 0u);
}

TEST_F(StraightRun, FullTargetGivesWriteErrorAndOthersComplete) {
  addFileJob(src("a.img", patternBytes(6 * kBlock, 1)));
  addFileJob(src("b.img", patternBytes(3 * kBlock, 2)));
  files.writeLimit[output(1)] = 2 * kBlock + 100;
  StatusTrail trail(form.iGrid2);
  controller.RunClicked();
  // The write error shows as it happens, while the run goes on.
  EXPECT_EQ(trail.rows[1], (std::vector<std::string>{"Preparing output file", "Imaging", "Write Error ...",
                                                      "Finishing...", "Write Error ..."}));
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Done.");
  EXPECT_EQ(readFile(output(2)), patternBytes(3 * kBlock, 2));
  // The finishing pass tries once more and reports the file.
  EXPECT_EQ(msg.count("Write Error"), 1);
  EXPECT_EQ(msg.shown.back().text, "Unable to write to file " + output(1) + ".");
}

TEST_F(StraightRun, FailedSyncIsAWriteError) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  files.failSync.insert(output(1));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
}

TEST_F(StraightRun, PrepareErrorAnsweredNoClosesEverythingAndUnlocks) {
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

TEST_F(StraightRun, PrepareErrorAnsweredYesGoesOn) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  files.failResize.insert(output(1));
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), patternBytes(1000, 1));
  EXPECT_EQ(status(1), "Done.");
}

TEST_F(StraightRun, StopInMainPassAfterWriteError) {
  addFileJob(src("a.img", patternBytes(10 * kBlock, 1)));
  const std::string b = src("b.img", patternBytes(10 * kBlock, 2));
  addFileJob(b);
  files.writeLimit[output(1)] = kBlock;
  // Job 2's fourth block is held until the run has ended, so the Stop
  // comes in the main pass with job 2 three blocks in, however fast it ran.
  auto gate = std::make_shared<Gate>(3 * kBlock);
  files.gates[b] = gate;
  ui.setChecked(Ctl::Check1, true);
  bool stopped = false;
  pump.whileWaiting([&] {
    if (stopped || !gate->held() || status(1) != "Write Error ...") return;
    stopped = true;
    msg.answerOnce("Stop process?", MsgAnswer::Yes);
    controller.StopClicked();
  });
  controller.RunClicked();
  gate->release();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Stopped");
  EXPECT_EQ(ui.statusHistory.back(), "Process stopped by user");
  EXPECT_EQ(std::find(ui.statusHistory.begin(), ui.statusHistory.end(), "Finishing...."), ui.statusHistory.end());
  EXPECT_FALSE(ui.isChecked(Ctl::Check1));
  EXPECT_TRUE(launcher.commands.empty());
  EXPECT_EQ(fs::file_size(output(2)), 3 * kBlock) << "a stopped image is cut to what was copied";
  EXPECT_TRUE(gate->waitGone(30));
}

TEST_F(StraightRun, StopInFinishingPassEndsAfterThatCycle) {
  addFileJob(src("a.img", patternBytes(kBlock + 512 * 5, 1)));
  // The main pass reads 2 blocks (one short) and ends in cycle 3.
  pressStopAt(4);
  controller.RunClicked();
  EXPECT_EQ(pump.calls, 4);
  EXPECT_EQ(ui.statusHistory.back(), "Process stopped by user");
  EXPECT_EQ(status(1), "Done.");
}

TEST_F(StraightRun, StopAnsweredNoRunsOnAndShutsDown) {
  addFileJob(src("a.img", patternBytes(3 * kBlock, 1)));
  ui.setChecked(Ctl::Check1, true);
  pressStopAt(1, MsgAnswer::No);
  controller.RunClicked();
  EXPECT_EQ(form.run.StopRequested, 0);
  EXPECT_EQ(readFile(output(1)), patternBytes(3 * kBlock, 1));
  EXPECT_EQ(launcher.commands, std::vector<std::string>{"shutdown -P +1"});
  EXPECT_TRUE(ui.isVisible(Ctl::Command6));
  EXPECT_EQ(msg.shown[0].text, "Stop the imaging process, are you sure");
  EXPECT_TRUE(msg.shown[0].systemModal);
}

TEST_F(StraightRun, ShutdownAfterNormalEndComesAfterProcessComplete) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  ui.setChecked(Ctl::Check1, true);
  controller.RunClicked();
  ASSERT_EQ(launcher.commands.size(), 1u);
  const auto complete = std::find(ui.log.begin(), ui.log.end(), "status 1 Process Complete");
  const auto shown = std::find(ui.log.begin(), ui.log.end(), "visible Command6 1");
  EXPECT_LT(complete, shown);
  controller.AbortShutdownClicked();
  EXPECT_EQ(launcher.commands.back(), "shutdown -c");
  EXPECT_FALSE(ui.isVisible(Ctl::Command6));
}

TEST_F(StraightRun, ShutdownStillAppliesAfterDeclinedOverwrite) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  writeFile(output(1), patternBytes(10, 2));
  msg.answer("File exists", MsgAnswer::No);
  ui.setChecked(Ctl::Check1, true);
  controller.RunClicked();
  EXPECT_EQ(launcher.commands, std::vector<std::string>{"shutdown -P +1"});
}

TEST_F(StraightRun, AbortShutdownWithNothingPendingStillAsks) {
  controller.AbortShutdownClicked();
  EXPECT_EQ(launcher.commands, std::vector<std::string>{"shutdown -c"});
  EXPECT_FALSE(ui.isVisible(Ctl::Command6));
}

TEST_F(StraightRun, LockAndUnlockInTheirOrder) {
  addFileJob(src("a.img", patternBytes(1000, 1)));
  bool lockedDuringRun = false;
  pump.at(1, [&] {
    lockedDuringRun = !ui.closeAllowed && !ui.isEnabled(Ctl::Frame1) && !ui.isEnabled(Ctl::Frame3) &&
                      !form.iGrid2.acceptsInput() && !ui.isEnabled(Ctl::Command1) && !ui.isEnabled(Ctl::Command2) &&
                      ui.isEnabled(Ctl::XPButton1) && ui.isEnabled(Ctl::Timer1);
  });
  controller.RunClicked();
  EXPECT_TRUE(lockedDuringRun);
  const std::vector<std::string> lock{"close 0", "enable Frame1 0", "enable Frame3 0", "enable Command1 0",
                                      "enable Command2 0", "enable XPButton1 1", "enable Timer1 1"};
  const std::vector<std::string> unlock{"close 1", "enable Frame1 1", "enable Frame3 1", "enable Command1 1",
                                        "enable Command2 1", "enable XPButton1 0", "enable Timer1 0"};
  auto sub = [&](const std::vector<std::string>& want) {
    std::vector<std::string> got;
    for (const auto& l : ui.log) if (std::find(want.begin(), want.end(), l) != want.end()) got.push_back(l);
    return got;
  };
  std::vector<std::string> both = lock;
  both.insert(both.end(), unlock.begin(), unlock.end());
  EXPECT_EQ(sub(both), both);
  EXPECT_TRUE(form.iGrid2.acceptsInput());
}

}  // namespace
}  // namespace mdi::test
