// A drive, or a target, that stops answering in the middle of a run: Stop
// must end the run while the read or write is still held, the other jobs
// keep what they did, no shutdown follows, and the held transfer, once let
// go, must find everything it uses alive and leave the image as the run
// counted it.
#include <thread>

#include "run/StepSize.h"
#include "tests/engine/RunOracle.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

struct StuckCase {
  const char* name;
  bool mutate;
  bool write;         // the image write hangs, not the source read
  bool otherFails;    // the other job has met a write error before the Stop
  bool reRead;        // the read held is a re-read of one sector after a failed read
  bool exit = false;  // Exit instead of Stop, with the images to be verified
};

// Safety net only: lets the gate go after a minute, so that a run that
// never lets the window act fails instead of hanging the suite.
std::jthread releaseAfterAMinute(std::shared_ptr<Gate> gate) {
  return std::jthread([gate](std::stop_token st) {
    for (int i = 0; i < 600 && !st.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gate->release();
  });
}

// Re-reading sources to verify, with job `row`'s source read back through
// `gate`: laid over it once the copy is over, so that only the verifying
// open meets it.
void holdReadBack(RunFixture& f, int row, const std::string& source, std::shared_ptr<Gate> gate) {
  f.form.Options.hashes = {HashAlgo::Sha256};
  f.form.Options.rereadSources = true;
  f.pump.every([&f, row, source, gate] {
    if (f.status(row) == "Verifying...") f.files.gates[source] = gate;
  });
}

class StuckDrive : public RunFixture, public ::testing::WithParamInterface<StuckCase> {};

// Exit ends the process as soon as it returns, so by then every job that
// began has its record: the finished one without reading anything back, the
// held one saying where its read was held, with a map of how far its image
// goes; and Exit has not waited for the held read.
TEST_P(StuckDrive, StopOrExitEndsTheRunWhileATransferIsHeld) {
  const StuckCase& c = GetParam();
  setMutate(c.mutate);
  ui.setChecked(Ctl::Check1, true);  // shut down when done: never after a Stop
  form.Options.hashes = {HashAlgo::Sha256};
  form.Options.verifyImages = c.exit;
  // Bytes a job reads (and, 512 to 512, writes) per main-pass block, and
  // per step.
  const std::size_t block = c.mutate ? 65536 : 131072;
  const std::size_t step = blocksPerPiece(block, c.mutate) * block;
  // (Before an Exit, the fast one is short: its records are written within
  // the time Exit gives them, however loaded the machine.)
  const auto fastSrc = patternBytes(3 * (c.exit ? block : step), 1);
  const auto stuckSrc = patternBytes(3 * step, 2);
  addFileJob(src("fast.img", fastSrc));
  const std::string stuckPath = src("stuck.img", stuckSrc);
  addFileJob(stuckPath);
  if (c.otherFails) files.writeLimit[output(1)] = block / 2;
  // The second step of the second job never comes, or never lands, until
  // released; or it fails, and the re-read of its eleventh sector hangs.
  auto gate = c.reRead ? std::make_shared<Gate>(step + 10 * 512, 512) : std::make_shared<Gate>(step);
  if (c.reRead) files.badRanges[stuckPath] = {{step + 20 * 512, step + 21 * 512, EIO, true}};
  const std::size_t kept = c.reRead ? step + 10 * 512 : step;
  const Bytes before(stuckSrc.begin(), stuckSrc.begin() + static_cast<long>(kept));  // what came before the held one
  (c.write ? files.outputGates[output(2)] : files.gates[stuckPath]) = gate;
  // Stop once the transfer is held and the other job has ended its pass: it
  // must get there while the stuck one waits (a lock-step run never does,
  // and the watchdog below then lets the transfer go, which fails the test).
  std::string fastLog, stuckLog, stuckMap, stuckSum;  // as Exit leaves them
  int eventsAfterStop = 0;
  pump.whileWaiting([&] {
    eventsAfterStop += stopped;
    if (stopped || !gate->held() || status(1) != (c.otherFails ? "Write Error ..." : "Waiting ...")) return;
    stopped = true;
    if (!c.exit) return pressStop();
    controller.closeAllFiles();
    EXPECT_FALSE(gate->released()) << "Exit waited for the held read";
    EXPECT_EQ(fs::file_size(output(2)), kept);
    fastLog = record(1), stuckLog = record(2);
    stuckMap = fileText(output(2) + ".map"), stuckSum = fileText(output(2) + ".sha256");
  });
  std::jthread watchdog = releaseAfterAMinute(gate);

  controller.RunClicked();

  EXPECT_FALSE(gate->released()) << "the run ended while the transfer was still held";
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(form.running);
  if (!c.exit) {
    EXPECT_FALSE(ui.isChecked(Ctl::Check1));
    stuckLog = record(2);
    // The held step is given its moment to end, and the window its events meanwhile.
    EXPECT_GT(eventsAfterStop, 0) << "the window went without its events while the held step had its moment";
  }
  // Neither a Stop nor an Exit is a run that ended: the computer stays on.
  EXPECT_TRUE(launcher.commands.empty());
  EXPECT_EQ(status(2), "Stopped");
  // The held transfer holds up no other job: the fast one goes on to its end.
  if (c.otherFails) {
    EXPECT_EQ(status(1), "Write Error ...");
  } else if (!c.exit) {
    EXPECT_EQ(status(1), "Done.");
    EXPECT_EQ(readFile(output(1)), fastSrc);
  }
  EXPECT_EQ(field(stuckLog, "bytes_written"), std::to_string(kept));
  if (c.exit) {
    EXPECT_EQ(fieldsOf(fastLog, {{"outcome", ""}, {"verify_result", ""}, {"image_sha256", ""}}),
              (Fields{{"outcome", "Done."}, {"verify_result", "Verify stopped"}, {"image_sha256", sha256Of(fastSrc)}}));
    const Fields held{{"outcome", "Stopped"},
                      {"stopped_by", "Exit"},
                      {"held_read_at", std::to_string(kept)},
                      {"bytes_read", std::to_string(kept)}};
    EXPECT_EQ(fieldsOf(stuckLog, held), held);
    EXPECT_EQ(blocksOf(stuckMap).at(0), (MapBlock{0, kept, MapStatus::Finished})) << stuckMap;
    EXPECT_NE(stuckSum.find("  002.bin"), std::string::npos) << stuckSum;
  }
  if (c.write) {
    // The image is in the hands of the write that has not returned, and the
    // held block passed the source's digest uncounted: the record gives
    // neither digest, and says why.
    EXPECT_EQ(field(stuckLog, "image_sha256") + field(stuckLog, "source_sha256"), "");
    EXPECT_NE(field(stuckLog, "hash_error").find("had not returned"), std::string::npos) << stuckLog;
  } else {
    EXPECT_TRUE(readFile(output(2)) == before);
  }

  // Let the held transfer return: it must find its buffer and files alive,
  // and once it has, the image is what the run counted: the blocks before
  // the held one, nothing after.
  gate->release();
  EXPECT_TRUE(gate->waitGone(30)) << "the source or output is released once its transfer returns";
  EXPECT_TRUE(readFile(output(2)) == before);
}

INSTANTIATE_TEST_SUITE_P(Paths, StuckDrive,
                         ::testing::Values(StuckCase("StraightRead", false, false, false, false),
                                           StuckCase("MutateRead", true, false, false, false),
                                           StuckCase("StraightWrite", false, true, false, false),
                                           StuckCase("MutateWrite", true, true, false, false),
                                           StuckCase("StraightReadAfterAWriteError", false, false, true, false),
                                           StuckCase("MutateReadAfterAWriteError", true, false, true, false),
                                           StuckCase("StraightReRead", false, false, false, true),
                                           StuckCase("MutateReRead", true, false, false, true),
                                           StuckCase("StraightReadThenExit", false, false, false, false, true),
                                           StuckCase("MutateReadThenExit", true, false, false, false, true)),
                         ByName{});

// Exit while a Stop gives a held read its moment to end: the files are
// closed and every job recorded at once, and the run, left by Exit, goes
// no further.
TEST_F(RunFixture, AnExitWhileAStoppedReadHasItsMomentEndsTheRun) {
  const std::size_t step = blocksPerPiece(131072, false) * 131072;
  const auto fastSrc = patternBytes(131072, 1);
  addFileJob(src("fast.img", fastSrc));
  const std::string stuckPath = src("stuck.img", patternBytes(3 * step, 2));
  addFileJob(stuckPath);
  auto gate = std::make_shared<Gate>(step);
  files.gates[stuckPath] = gate;
  std::jthread watchdog = releaseAfterAMinute(gate);
  bool exited = false;
  std::string fastLog, stuckLog;
  pump.whileWaiting([&] {
    if (exited || !gate->held() || status(1) != "Waiting ...") return;
    if (!stopped) {
      stopped = true;
      return pressStop();
    }
    exited = true;
    controller.closeAllFiles();
    fastLog = record(1), stuckLog = record(2);
  });

  controller.RunClicked();

  EXPECT_TRUE(exited) << "no events came while the held read had its moment";
  EXPECT_FALSE(gate->released());
  EXPECT_FALSE(form.running);
  EXPECT_TRUE(launcher.commands.empty());
  EXPECT_EQ(field(fastLog, "outcome"), "Done.");
  const Fields held{{"outcome", "Stopped"}, {"bytes_written", std::to_string(step)}};
  EXPECT_EQ(fieldsOf(stuckLog, held), held) << stuckLog;
  EXPECT_EQ(readFile(output(1)), fastSrc);
  gate->release();
  EXPECT_TRUE(gate->waitGone(30));
}

// Run first checks that each drive is still the one listed, which reads
// it. That, opening a source, syncing an image, reading a source back to verify it
// and reading back an image whose writes failed to hash it can each wait on
// a drive or a target as long as a read: they run off the window's thread,
// so Stop (or Exit) ends the run while they are held, a job whose image was
// never known to reach the disk is not "Done.", and a job's record says
// what was not finished. Stopped in the checks, nothing is opened or made.
enum class Held { IdentityCheck, Open, Sync, ReadBack, FailedImageReadBack };
struct HeldFileWorkCase {
  const char* name;
  bool mutate;
  Held what;
  bool exit;  // Exit instead of Stop
  const char* status1;
  std::pair<const char*, const char*> recorded = {};  // a field of job 1's record, and its value
};

class HeldFileWork : public RunFixture, public ::testing::WithParamInterface<HeldFileWorkCase> {};

TEST_P(HeldFileWork, TheRunEndsWhileItIsHeld) {
  const HeldFileWorkCase& c = GetParam();
  setMutate(c.mutate);
  const auto data = patternBytes(3 * 131072, 8);
  const std::string first = src("first.img", data);
  addFileJob(first);
  addFileJob(src("second.img", data));
  auto gate = std::make_shared<Gate>(c.what == Held::ReadBack ? 131072 : 0);
  if (c.what == Held::IdentityCheck) {
    drives.add(0, {{"/dev/fake0", 4096, "id0"}, src("disk0", patternBytes(4096, 3)), 0x0800, ""});
    addDriveJob("0", 4096);
    drives.probeGates[0] = gate;
  }
  if (c.what == Held::Open) files.openGates[first] = gate;
  if (c.what == Held::Sync) files.closeGates[output(1)] = gate;
  if (c.what == Held::ReadBack) holdReadBack(*this, 1, first, gate);
  if (c.what == Held::FailedImageReadBack) {
    form.Options.hashes = {HashAlgo::Sha256};
    files.writeLimit[output(1)] = 131072 + 100;
    files.gates[output(1)] = gate;  // the run opens its image as a source only to read it back
  }
  std::jthread watchdog = releaseAfterAMinute(gate);
  stopOnceWhen([&] { return gate->held(); }, c.exit);

  controller.RunClicked();

  EXPECT_TRUE(stopped);
  EXPECT_FALSE(gate->released()) << "the run waited for the held work";
  EXPECT_FALSE(form.running);
  EXPECT_TRUE(ui.closeAllowed);
  EXPECT_EQ(status(1), c.status1);
  if (c.what == Held::IdentityCheck) { EXPECT_TRUE(files.creates.empty() && drives.opened.empty()); }
  if (c.what == Held::ReadBack) { EXPECT_EQ(readFile(output(1)), data); }
  if (c.recorded.first) { EXPECT_EQ(field(record(1), c.recorded.first), c.recorded.second); }
  if (c.exit && c.what == Held::Sync) {
    EXPECT_EQ(field(record(1), "outcome"), c.status1);
    EXPECT_EQ(field(record(2), "outcome"), "Done.");
  }
  gate->release();
  EXPECT_TRUE(gate->waitGone(30) || c.what <= Held::Open) << "released once its transfer returns";
}
INSTANTIATE_TEST_SUITE_P(
    Work, HeldFileWork,
    ::testing::Values(
        HeldFileWorkCase{"IdentityCheckOfADrive", false, Held::IdentityCheck, false, ""},
        HeldFileWorkCase{"OpenOfASource", false, Held::Open, false, "Not imaged"},
        HeldFileWorkCase{"OpenOfASourceThenExit", false, Held::Open, true, "Not imaged"},
        HeldFileWorkCase{"SyncOfAStraightImageBeforeTheCopy", false, Held::Sync, false, "Not imaged"},
        HeldFileWorkCase{"SyncOfAMutateImageAtTheEnd", true, Held::Sync, false, "Write Error ..."},
        HeldFileWorkCase{"SyncOfAMutateImageAtTheEndThenExit", true, Held::Sync, true, "Write Error ..."},
        // The image stays "Done." and whole; the check was stopped, it neither passed nor failed.
        HeldFileWorkCase{
            "VerifyingReReadOfASource", false, Held::ReadBack, false, "Done.", {"verify_result", "Verify stopped"}},
        HeldFileWorkCase{"ReadBackOfAFailedImage",
                         false,
                         Held::FailedImageReadBack,
                         false,
                         "Write Error ...",
                         {"hash_error", "the run was stopped before the image was read back"}}),
    ByName{});

// A run stopped while a job's read is held still verifies the jobs that
// finished: the read-back gives way only to a Stop confirmed while it runs.
TEST_F(RunFixture, AStopBeforeTheReadBackLeavesItToEnd) {
  const auto data = patternBytes(3 * 131072, 5);
  const std::string done = src("done.img", data);
  addFileJob(done);
  const std::string stuck = src("stuck.img", patternBytes(10 * 131072, 6));
  addFileJob(stuck);
  auto held = std::make_shared<Gate>(4 * 131072);
  files.gates[stuck] = held;
  // The finished job's read-back is held for a few of the window's waits,
  // long enough for a run that took the earlier Stop as its own to give up.
  auto slow = std::make_shared<Gate>(0);
  holdReadBack(*this, 1, done, slow);
  int waitsWhileSlow = 0;
  pump.whileWaiting([&] {
    if (!stopped && held->held() && status(1) == "Waiting ...") stopped = (pressStop(), true);
    if (slow->held() && ++waitsWhileSlow == 5) slow->release();
  });
  std::jthread watchdog = releaseAfterAMinute(held);
  std::jthread watchdog2 = releaseAfterAMinute(slow);

  controller.RunClicked();

  EXPECT_TRUE(stopped);
  EXPECT_EQ(status(1), "Done. Verified");
  EXPECT_EQ(field(record(1), "verify_result"), "Verified");
  EXPECT_EQ(status(2), "Stopped");
  held->release();
  EXPECT_TRUE(held->waitGone(30));
}

// A step that ends while the window has its events, a Stop confirmed
// there, is counted and kept, and the record's hash is of the image left.
TEST_F(RunFixture, AStepEndedAsTheStopComesIsKeptAndHashed) {
  form.Options.hashes = {HashAlgo::Sha256};
  const std::size_t step = blocksPerPiece(131072, false) * 131072;
  const auto data = patternBytes(3 * step, 2);
  const std::string first = src("first.img", patternBytes(4 * step, 1)), second = src("second.img", data);
  addFileJob(first);
  addFileJob(second);
  // Both second steps held: the first is let go in a wait, the other in the events its step brings.
  auto one = std::make_shared<Gate>(step), two = std::make_shared<Gate>(step);
  files.gates[first] = one;
  files.gates[second] = two;
  pump.whileWaiting([&] {
    clock.now += 1000;  // time for the window's events once a step ends
    if (one->held() && two->held()) one->release();
  });
  pump.every([&] {
    if (stopped || !two->held()) return;
    two->release();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stopped = (pressStop(), true);
  });
  std::jthread watchdog = releaseAfterAMinute(one), watchdog2 = releaseAfterAMinute(two);
  controller.RunClicked();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(readFile(output(2)), Bytes(data.begin(), data.begin() + static_cast<long>(2 * step)));
  EXPECT_EQ(field(record(2), "bytes_written"), std::to_string(2 * step));
  EXPECT_EQ(field(record(2), "image_sha256"), sha256Of(readFile(output(2))));
}

// A step that ends just after a Stop is confirmed is kept: a mutate job beside
// a slower one still records its source's digest, and no image is read back.
TEST_F(RunFixture, AStepEndingJustAfterTheStopIsKept) {
  form.Options.hashes = {HashAlgo::Sha256};
  setMutate(true);
  const auto data = patternBytes(8000 * 520, 2);
  const std::string second = src("second.img", data);
  addFileJob(src("first.img", patternBytes(8000 * 520, 1)), -1, "520", "512");
  addFileJob(second, -1, "520", "512");
  auto gate = files.gates[second] = std::make_shared<Gate>(2u << 20);
  std::jthread release;  // the held read ends 20 ms after the Stop
  pump.whileWaiting([&] {
    if (stopped || !gate->held()) return;
    release = std::jthread([gate] { std::this_thread::sleep_for(std::chrono::milliseconds(20)), gate->release(); });
    stopped = (pressStop(), true);
  });
  controller.RunClicked();
  ASSERT_TRUE(stopped);
  const Bytes image = readFile(output(2));
  const std::size_t kept = image.size() / 512 * 520;
  ASSERT_GT(kept, 2u << 20) << "the step held at 2 MiB was cut off";
  EXPECT_EQ(field(record(2), "source_sha256"), sha256Of(Bytes(data.begin(), data.begin() + static_cast<long>(kept))));
  EXPECT_EQ(field(record(2), "image_sha256"), sha256Of(image));
}

}  // namespace
}  // namespace mdi::test
