// Every job ends with a status that tells the truth about its image, and
// the image on disk holds exactly what was copied: complete and "Done.",
// cut short and "Stopped", untouched and "Not imaged", or ended at the
// first unreadable byte with every readable byte before it.
#include "engine/MutateSizes.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

constexpr std::size_t kBlock = 131072;

// ---- Stop ------------------------------------------------------------------

struct StopCase {
  const char* name;
  bool mutate;
  bool finishingPass;  // Stop is confirmed in the finishing pass, else in the main pass
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopOutcome : public RunFixture, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopOutcome, UnfinishedJobsAreStoppedAndCutToWhatWasCopied) {
  const StopCase& c = GetParam();
  ui.setChecked(Ctl::Check2, c.mutate);
  const std::size_t block = c.mutate ? 65536 : kBlock;
  const auto longSrc = patternBytes(10 * kBlock + 777, 1);
  const auto shortSrc = patternBytes(kBlock / 2, 2);
  const std::string longPath = src("long.img", longSrc);
  addFileJob(longPath);
  addFileJob(src("short.img", shortSrc));
  auto stop = [this] {
    msg.answerOnce("Stop process?", MsgAnswer::Yes);
    controller.StopClicked();
  };
  bool stopped = false;
  // Main pass: the long job's third block is held until the run has ended,
  // so the Stop finds it two blocks in, whatever pace the jobs went at.
  auto gate = std::make_shared<Gate>(2 * block);
  if (c.finishingPass) {
    pump.every([&] {
      if (!stopped && status(1) == "Finishing...") stopped = (stop(), true);
    });
  } else {
    files.gates[longPath] = gate;
    pump.whileWaiting([&] {
      if (!stopped && gate->held()) stopped = (stop(), true);
    });
  }
  controller.RunClicked();
  gate->release();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(status(1), c.finishingPass ? "Done." : "Stopped");
  EXPECT_EQ(fs::file_size(output(1)), c.finishingPass ? longSrc.size() : 2 * block);
  const auto out = readFile(output(1));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), longSrc.begin())) << "what was copied is the source's start";
  EXPECT_EQ(status(2), "Done.") << "a job that had reached its end is complete";
  EXPECT_EQ(readFile(output(2)), shortSrc);
  EXPECT_EQ(ui.statusText(1), "Process stopped by user");
  if (!c.finishingPass) {
    EXPECT_TRUE(gate->waitGone(30));
  }
}
INSTANTIATE_TEST_SUITE_P(Passes, StopOutcome,
                         ::testing::Values(StopCase{"StraightMainPass", false, false},
                                           StopCase{"StraightFinishingPass", false, true},
                                           StopCase{"MutateMainPass", true, false},
                                           StopCase{"MutateFinishingPass", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Exit during a run -----------------------------------------------------

class ExitMidRun : public RunFixture, public ::testing::WithParamInterface<bool> {};
TEST_P(ExitMidRun, LeavesEveryImageCutToWhatWasCopied) {
  ui.setChecked(Ctl::Check2, GetParam());
  const auto data = patternBytes(20 * kBlock, 5);
  addFileJob(src("a.img", data));
  std::uint64_t atExit = 0;
  pump.at(3, [&] {
    controller.closeAllFiles();
    atExit = fs::file_size(output(1));
  });
  controller.RunClicked();
  const std::uint64_t copied = GetParam() ? 3 * 65536 : 3 * kBlock;
  EXPECT_EQ(atExit, copied);
  const auto out = readFile(output(1));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}
INSTANTIATE_TEST_SUITE_P(Paths, ExitMidRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "SectorMutate" : "Straight"; });

// ---- read errors -----------------------------------------------------------

struct ReadErrorCase {
  const char* name;
  bool mutate;
  std::uint64_t badAt;      // first unreadable byte
  bool wholeReadFails;      // the failing read brings nothing at all
  const char* status;
  std::uint64_t kept;       // image length: every readable byte before badAt
  std::size_t sectorIn = 512;  // sector mutate from this size to 512
};
void PrintTo(const ReadErrorCase& c, std::ostream* os) { *os << c.name; }
class ReadErrorOutcome : public RunFixture, public ::testing::WithParamInterface<ReadErrorCase> {};

TEST_P(ReadErrorOutcome, KeepsEveryReadableByteAndSaysWhere) {
  const ReadErrorCase& c = GetParam();
  ui.setChecked(Ctl::Check2, c.mutate);
  const auto data = patternBytes(32 * kBlock, 6);
  const auto path = src("bad.img", data);
  files.badRanges[path] = {{c.badAt, c.badAt + 512, EIO, c.wholeReadFails}};
  addFileJob(path, -1, std::to_string(c.sectorIn), "512");
  const auto other = patternBytes(3 * kBlock + 100, 7);
  addFileJob(src("good.img", other));
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  EXPECT_EQ(fs::file_size(output(1)), c.kept);
  const auto out = readFile(output(1));
  std::vector<std::byte> want;  // the first 512 bytes of every source sector
  for (std::size_t p = 0; p + c.sectorIn <= data.size(); p += c.sectorIn)
    want.insert(want.end(), data.begin() + static_cast<long>(p), data.begin() + static_cast<long>(p + 512));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), want.begin()));
  EXPECT_EQ(status(2), "Done.") << "the other jobs go on";
  EXPECT_EQ(readFile(output(2)), other);
}
INSTANTIATE_TEST_SUITE_P(
    Offsets, ReadErrorOutcome,
    ::testing::Values(
        ReadErrorCase{"StraightInsideFirstBlock", false, 12288, true, "Read Error ... at byte 12,288", 12288},
        ReadErrorCase{"StraightMidBlock", false, 3158016, true, "Read Error ... at byte 3,158,016", 3158016},
        ReadErrorCase{"StraightMidBlockShortRead", false, 3158016, false, "Read Error ... at byte 3,158,016", 3158016},
        ReadErrorCase{"StraightAtBlockBoundary", false, 4 * kBlock, true, "Read Error ... at byte 524,288", 4 * kBlock},
        ReadErrorCase{"StraightAtByteZero", false, 0, true, "Read Error ... at byte 0", 0},
        ReadErrorCase{"MutateMidBlock", true, 3158016, true, "Read Error ... at byte 3,158,016", 3158016},
        ReadErrorCase{"MutateMidBlockShortRead", true, 200000, false, "Read Error ... at byte 200,000", 199680},
        ReadErrorCase{"Mutate520MidBlock", true, 520 * 300 + 100, true, "Read Error ... at byte 156,000", 300 * 512,
                      520},
        ReadErrorCase{"Mutate520MidBlockShortRead", true, 520 * 300 + 100, false, "Read Error ... at byte 156,100",
                      300 * 512, 520},
        ReadErrorCase{"MutateAtBlockBoundary", true, 2 * 65536, true, "Read Error ... at byte 131,072", 2 * 65536}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- write errors ----------------------------------------------------------

class WriteErrorOutcome : public RunFixture, public ::testing::WithParamInterface<bool> {};
TEST_P(WriteErrorOutcome, ImageEndsAtTheFirstFailedWriteEvenIfLaterOnesSucceed) {
  ui.setChecked(Ctl::Check2, GetParam());
  const auto data = patternBytes(6 * kBlock, 8);
  addFileJob(src("a.img", data));
  files.writeLimit[output(1)] = kBlock + 1000;
  files.writeLimitOnce.insert(output(1));  // the finishing pass's write goes through
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(fs::file_size(output(1)), kBlock + 1000) << "nothing written after the gap stays in the image";
  const auto out = readFile(output(1));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
}
INSTANTIATE_TEST_SUITE_P(Paths, WriteErrorOutcome, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "SectorMutate" : "Straight"; });

}  // namespace
}  // namespace mdi::test
