// A drive that stops answering in the middle of a run: Stop must end the
// run while the read is still held, and the held read, once let go, must
// find everything it uses alive and change no image.
#include <thread>

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

constexpr std::size_t kBlock = 131072;

struct StuckCase {
  const char* name;
  bool mutate;
  std::size_t block;  // bytes a job reads per main-pass cycle
};
void PrintTo(const StuckCase& c, std::ostream* os) { *os << c.name; }

class StuckDrive : public RunFixture, public ::testing::WithParamInterface<StuckCase> {};

TEST_P(StuckDrive, StopEndsTheRunWhileAReadIsHeld) {
  const StuckCase& c = GetParam();
  ui.setChecked(Ctl::Check2, c.mutate);
  const auto fastSrc = patternBytes(10 * c.block, 1);
  const auto stuckSrc = patternBytes(10 * c.block, 2);
  addFileJob(src("fast.img", fastSrc));
  const std::string stuckPath = src("stuck.img", stuckSrc);
  addFileJob(stuckPath);
  // The fourth block of the second job never comes until released.
  auto gate = std::make_shared<Gate>(3 * c.block);
  files.gates[stuckPath] = gate;
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
  const auto stuckOut = readFile(output(2));
  EXPECT_EQ(stuckOut.size(), 3 * c.block) << "the stuck job keeps the blocks before the held read";
  EXPECT_TRUE(std::equal(stuckOut.begin(), stuckOut.end(), stuckSrc.begin()));
  // The held read holds up no other job: the fast one goes on to its end.
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(readFile(output(1)), fastSrc);

  // Let the held read return: it must find its buffer and source alive,
  // write nothing, and let go of the source.
  gate->release();
  EXPECT_TRUE(gate->waitGone(30)) << "the source is released once its read returns";
  EXPECT_EQ(readFile(output(2)), stuckOut) << "nothing lands in the image afterwards";
  watchdog.request_stop();
}

INSTANTIATE_TEST_SUITE_P(Paths, StuckDrive,
                         ::testing::Values(StuckCase{"Straight", false, kBlock}, StuckCase{"Mutate", true, 65536}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi::test
