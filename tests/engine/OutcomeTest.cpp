// Every job ends with a status that tells the truth about its image, and
// the image on disk holds exactly what was copied: cut short by a Stop or
// by Exit, or ended at the first unreadable byte or the first failed write,
// with every byte before it; a job that copied nothing is reported. A Stop
// while a transfer is held is in StuckDriveTest.
#include "run/StepSize.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::size_t kBlock = 131072;
// Image bytes of one main-pass step: straight, and mutate from 520- and
// 512-byte sectors.
const std::size_t kStraightStep = blocksPerStep(kBlock, false) * kBlock;
const std::size_t kMutate520Step = blocksPerStep(128 * 520, true) * 65536;
const std::size_t kMutate512Step = blocksPerStep(65536, true) * 65536;
using Texts = std::vector<std::string>;

// ---- Stop or Exit at a chosen cycle ----------------------------------------

struct CycleCase {
  const char* name;
  bool mutate;
  std::size_t sectors;  // of `sectorIn` bytes
  std::size_t sectorIn;
  int at;     // the step the Stop is confirmed, or Exit is chosen, in
  bool exit;  // else Stop
  const char* status;
  std::size_t kept;  // image bytes
  Texts statusBar;
};

class EndAtCycle : public RunFixture, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(EndAtCycle, EndsTheRunInThatCycleWithTheImageCutToWhatWasCopied) {
  const CycleCase& c = GetParam();
  setMutate(c.mutate);
  const auto data = patternBytes(c.sectors * c.sectorIn, 1);
  addFileJob(src("a.img", data), -1, std::to_string(c.sectorIn), "512");
  std::uint64_t atExit = 0;
  if (c.exit) {
    pump.at(c.at, [&] {
      controller.closeAllFiles();
      atExit = fs::file_size(output(1));
    });
  } else {
    pressStopAt(c.at);
  }
  controller.RunClicked();
  EXPECT_EQ(pump.calls, c.at);
  EXPECT_EQ(status(1), c.status);
  expectPrefix(1, imageOf(data, c.sectorIn), c.kept);
  if (c.exit) { EXPECT_EQ(atExit, c.kept) << "Exit leaves the image cut to what was copied"; }
  EXPECT_EQ(ui.statusHistory, c.statusBar);
}
const Texts kStopped{"Creating image", "Process Complete", "Process stopped by user"};
const Texts kMutateStopped{"Creating image", "Closing files..", "Process Complete", "Process stopped by user"};
INSTANTIATE_TEST_SUITE_P(
    Cycles, EndAtCycle,
    ::testing::Values(
        CycleCase("StopStraightMainPass", false, 20480, 512, 2, false, "Stopped", 2 * kStraightStep, kStopped),
        // The main pass reads 261 sectors (short of a step) and ends in step 2.
        CycleCase("StopStraightFinishingPass", false, 261, 512, 3, false, "Done.", 261 * 512,
                  {"Creating image", "Finishing....", "Process Complete", "Process stopped by user"}),
        CycleCase("StopMutateMainPass", true, 5120, 520, 2, false, "Stopped", 2 * kMutate520Step, kMutateStopped),
        // Main pass: step 1 reads 130 sectors, step 2 nothing.
        CycleCase("StopMutateFinishingPass", true, 130, 520, 3, false, "Done.", 130 * 512,
                  {"Creating image", "Finishi", "Closing files..", "Process Complete", "Process stopped by user"}),
        CycleCase("ExitStraight", false, 40960, 512, 3, true, "Stopped", 3 * kStraightStep,
                  {"Creating image", "Process Complete"}),
        CycleCase("ExitMutate", true, 10240, 512, 3, true, "Stopped", 3 * kMutate512Step,
                  {"Creating image", "Closing files..", "Process Complete"})),
    ByName{});

// ---- read and write faults -------------------------------------------------

struct FaultCase {
  std::string name;
  bool mutate;
  std::size_t sectorIn;                                            // sector mutate from this size to 512
  std::function<void(RunFixture&, const std::string& src)> fault;  // laid over job 1
  std::string status;
  std::uint64_t kept;       // image length: every byte before the fault
  bool writeFailsMidRun;    // "Write Error ..." shows as it happens
  bool retried = false;     // the finishing pass writes again, fails, and says so
  const char* noData = "";  // the message for a job that copied nothing, shown before the files close
};

constexpr std::uint64_t kFaultySize = 40 * kBlock;

FaultCase readError(const char* name, bool mutate, std::uint64_t at, bool wholeReadFails, const char* where,
                    std::uint64_t kept, std::size_t sectorIn = 512) {
  return FaultCase(
      name, mutate, sectorIn,
      [=](RunFixture& f, const std::string& p) {
        // It fails the step's read and the re-read after it, and reads at a
        // third try: a job that tried it again would run on past it.
        f.files.badRanges[p] = {{at, at + 512, EIO, wholeReadFails, 2}};
      },
      std::string("Read Error ... at byte ") + where, kept, false);
}
FaultCase targetFull(const char* name, bool mutate, std::size_t sectorIn, std::uint64_t limit, bool once) {
  return FaultCase(
      name, mutate, sectorIn,
      [=](RunFixture& f, const std::string&) {
        f.files.writeLimit[f.output(1)] = limit;
        if (once) f.files.writeLimitOnce.insert(f.output(1));  // a later write goes through
      },
      "Write Error ...", limit, true, !once);
}
constexpr const char* kSizing =
    "No data was copied, there may be a problem with sector sizing. Try again with Force read option set "
    "(if available)";
constexpr const char* kDrive = "There may be a problem with the drive as data could not be copied.";
// A sector-mutate job whose source is empty copies nothing.
FaultCase nothingCopied(const char* name, bool forceRead) {
  return FaultCase(
      name, true, 520,
      [=](RunFixture& f, const std::string& p) {
        f.ui.setChecked(Ctl::Check4, forceRead);  // changes only the wording
        fs::resize_file(p, 0);
      },
      "Done.", 0, false, false, forceRead ? kDrive : kSizing);
}
FaultCase failedSync(const char* name, bool mutate) {
  return FaultCase(
      name, mutate, 512, [](RunFixture& f, const std::string&) { f.files.failSync.insert(f.output(1)); },
      "Write Error ...", kFaultySize, false);
}

class FaultOutcome : public RunFixture, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultOutcome, ImageEndsAtTheFaultAndTheOtherJobsGoOn) {
  const FaultCase& c = GetParam();
  setMutate(c.mutate);
  const auto data = patternBytes(kFaultySize, 6);
  const auto other = patternBytes(3 * kBlock + 100, 7);
  const auto path = src("bad.img", data);
  addFileJob(path, -1, std::to_string(c.sectorIn), "512");
  addFileJob(src("good.img", other), -1, std::to_string(c.sectorIn), "512");
  c.fault(*this, path);
  StatusTrail trail(form.iGrid2);
  std::size_t statusesAtMessage = 0;
  msg.onShow = [&](const Message&) { statusesAtMessage = ui.statusHistory.size(); };
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  expectPrefix(1, imageOf(data, c.sectorIn), c.kept);
  Texts statuses = c.mutate ? Texts{"Imaging..."} : Texts{"Preparing output file", "Imaging"};
  statuses.insert(statuses.end(), {c.writeFailsMidRun ? "Write Error ..." : "Waiting ...", "Finishing...", c.status});
  EXPECT_EQ(trail.rows[1], statuses);
  EXPECT_EQ(status(2), "Done.");
  EXPECT_EQ(readFile(output(2)), imageOf(other, c.sectorIn));
  if (c.retried) {
    ASSERT_EQ(msg.titles(), Texts{"Write Error"});
    EXPECT_EQ(msg.shown[0].text, "Unable to write to file " + output(1) + ".");
  } else if (*c.noData) {
    ASSERT_EQ(msg.titles(), Texts{"Error"});
    EXPECT_EQ(msg.shown[0].text, c.noData);
    EXPECT_EQ(msg.shown[0].icon, MsgIcon::Information);
    ASSERT_GE(ui.statusHistory.size(), statusesAtMessage + 2);
    EXPECT_EQ(ui.statusHistory[statusesAtMessage], "Closing files..");
  } else {
    EXPECT_TRUE(msg.shown.empty());
  }
}
INSTANTIATE_TEST_SUITE_P(
    Faults, FaultOutcome,
    ::testing::Values(readError("StraightInsideFirstBlock", false, 12288, true, "12,288", 12288),
                      readError("StraightMidBlockShortRead", false, 3158016, false, "3,158,016", 3158016),
                      readError("StraightAtBlockBoundary", false, 4 * kBlock, true, "524,288", 4 * kBlock),
                      readError("StraightAtByteZero", false, 0, true, "0", 0),
                      readError("MutateMidBlockShortRead", true, 200000, false, "200,000", 199680),
                      readError("Mutate520MidBlock", true, 520 * 300 + 100, true, "156,000", 300 * 512, 520),
                      readError("Mutate520MidBlockShortRead", true, 520 * 300 + 100, false, "156,100", 300 * 512, 520),
                      readError("MutateAtBlockBoundary", true, 2 * 65536, true, "131,072", 2 * 65536),
                      targetFull("StraightTargetFull", false, 512, 2 * kBlock + 100, false),
                      targetFull("MutateTargetFull", true, 520, 65536 + 100, false),
                      // The image ends at the first failed write, even if later ones succeed.
                      targetFull("StraightTargetFullOnce", false, 512, kBlock + 1000, true),
                      targetFull("MutateTargetFullOnce", true, 512, kBlock + 1000, true),
                      failedSync("StraightFailedSync", false), failedSync("MutateFailedSync", true),
                      nothingCopied("MutateEmptySource", false), nothingCopied("MutateEmptySourceWithForceRead", true)),
    ByName{});

// A source that cannot be opened (gone, or its access refused) is not
// imaged, and its status says why: no image and no record are made for it,
// nothing asks about sector sizes, and the other job goes on to its end.
TEST_F(RunFixture, ASourceThatCannotBeOpenedIsNotImagedAndSaysWhy) {
  for (bool mutate : {false, true}) {
    SCOPED_TRACE(mutate ? "sector mutate" : "straight");
    setMutate(mutate);
    form.iGrid2.removeRows(1, form.iGrid2.rowCount());
    msg.shown.clear();
    const std::string gone = src("gone.img", patternBytes(kBlock, 1));
    const auto other = patternBytes(3 * kBlock + 100, 2);
    addFileJob(gone, -1, mutate ? "520" : "512");
    addFileJob(src("good.img", other), -1, mutate ? "520" : "512");
    fs::remove(gone);
    StatusTrail trail(form.iGrid2);
    controller.RunClicked();
    const std::string why = "Not imaged: " + gone + " could not be opened: No such file or directory";
    EXPECT_EQ(trail.rows[1], Texts{why});
    EXPECT_FALSE(fs::exists(output(1)));
    EXPECT_FALSE(fs::exists(output(1) + ".log"));
    EXPECT_FALSE(fs::exists(output(1) + ".sha256"));
    EXPECT_EQ(status(2), "Done.");
    EXPECT_EQ(readFile(output(2)), imageOf(other, mutate ? 520 : 512));
    EXPECT_TRUE(msg.shown.empty());
    for (const auto& f : fs::directory_iterator(dir / "out")) fs::remove(f.path());
  }
}

// An image pre-sized to its source and cut back to what was copied: a cut
// that fails leaves it longer than that, zeros and all, and the job must
// not pass for read to a point.
TEST_F(RunFixture, AFailedCutIsAWriteError) {
  const std::string path = src("a.img", patternBytes(kFaultySize, 4));
  addFileJob(path);
  files.badRanges[path] = {{4 * kBlock, 4 * kBlock + 512, EIO, true}};
  files.failCut.insert(output(1));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(field(record(1), "outcome"), "Write Error ...");
}

}  // namespace
}  // namespace mdi::test
