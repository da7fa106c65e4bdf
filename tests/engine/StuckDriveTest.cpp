// A drive, or a target, that stops answering in the middle of a run: Stop
// must end the run while the read or write is still held, and the held
// transfer, once let go, must find everything it uses alive and leave the
// image as the run counted it.
#include <thread>

#include "tests/RecordFields.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

constexpr std::size_t kBlock = 131072;

struct StuckCase {
  const char* name;
  bool mutate;
  std::size_t block;  // bytes a job reads (and, 512 to 512, writes) per main-pass cycle
  bool write;         // the image write hangs, not the source read
};
void PrintTo(const StuckCase& c, std::ostream* os) { *os << c.name; }

class StuckDrive : public RunFixture, public ::testing::WithParamInterface<StuckCase> {};

TEST_P(StuckDrive, StopEndsTheRunWhileATransferIsHeld) {
  const StuckCase& c = GetParam();
  ui.setChecked(Ctl::Check2, c.mutate);
  form.Options.hashes = {HashAlgo::Sha256};
  const auto fastSrc = patternBytes(10 * c.block, 1);
  const auto stuckSrc = patternBytes(10 * c.block, 2);
  addFileJob(src("fast.img", fastSrc));
  const std::string stuckPath = src("stuck.img", stuckSrc);
  addFileJob(stuckPath);
  // The fourth block of the second job never comes, or never lands, until
  // released.
  auto gate = std::make_shared<Gate>(3 * c.block);
  (c.write ? files.outputGates[output(2)] : files.gates[stuckPath]) = gate;
  bool stopped = false;
  // Stop once the read is held and the other job has ended its pass: it
  // must get there while the stuck one waits (a lock-step run never does,
  // and the watchdog below then lets the read go, which fails the test).
  pump.whileWaiting([&] {
    if (stopped || !gate->held() || status(1) != "Waiting ...") return;
    stopped = true;
    msg.answerOnce("Stop process?", MsgAnswer::Yes);
    controller.StopClicked();
  });
  // Safety net only: a run that never lets the window act would hang here.
  std::jthread watchdog([gate](std::stop_token st) {
    for (int i = 0; i < 600 && !st.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gate->release();
  });

  controller.RunClicked();

  EXPECT_FALSE(gate->released()) << "the run ended while the read was still held";
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(form.running);
  EXPECT_EQ(ui.statusText(1), "Process stopped by user");
  EXPECT_EQ(status(2), "Stopped");
  // The held transfer holds up no other job: the fast one goes on to its end.
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(readFile(output(1)), fastSrc);
  const auto record = fileText(output(2) + ".log");
  EXPECT_EQ(field(record, "bytes_written"), std::to_string(3 * c.block));
  if (c.write) {
    // The image is in the hands of the write that has not returned: no
    // hash of it can be trusted, and the record says so instead of one.
    EXPECT_EQ(field(record, "image_sha256"), "");
    EXPECT_NE(field(record, "hash_error").find("had not returned"), std::string::npos) << record;
  } else {
    const auto stuckOut = readFile(output(2));
    EXPECT_EQ(stuckOut.size(), 3 * c.block) << "the stuck job keeps the blocks before the held read";
    EXPECT_TRUE(std::equal(stuckOut.begin(), stuckOut.end(), stuckSrc.begin()));
  }

  // Let the held transfer return: it must find its buffer and files alive,
  // and once it has, the image is what the run counted: the blocks before
  // the held one, nothing after.
  gate->release();
  EXPECT_TRUE(gate->waitGone(30)) << "the source or output is released once its transfer returns";
  const auto stuckOut = readFile(output(2));
  ASSERT_EQ(stuckOut.size(), 3 * c.block);
  EXPECT_TRUE(std::equal(stuckOut.begin(), stuckOut.end(), stuckSrc.begin()));
  watchdog.request_stop();
}

INSTANTIATE_TEST_SUITE_P(Paths, StuckDrive,
                         ::testing::Values(StuckCase{"StraightRead", false, kBlock, false},
                                           StuckCase{"MutateRead", true, 65536, false},
                                           StuckCase{"StraightWrite", false, kBlock, true},
                                           StuckCase{"MutateWrite", true, 65536, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi::test
