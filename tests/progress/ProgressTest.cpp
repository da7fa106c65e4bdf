#include <gtest/gtest.h>

#include "platform/fakes/Fakes.h"
#include "progress/Progress.h"

namespace mdi {
namespace {

struct TimeCase { std::int32_t s; const char* text; };
class TimeStringTest : public ::testing::TestWithParam<TimeCase> {};
TEST_P(TimeStringTest, Formats) { EXPECT_EQ(TimeString(GetParam().s), GetParam().text); }
INSTANTIATE_TEST_SUITE_P(Cases, TimeStringTest, ::testing::Values(
    TimeCase{0, "0:00:00"}, TimeCase{59, "0:00:59"}, TimeCase{3600, "1:00:00"}, TimeCase{3725, "1:02:05"},
    TimeCase{86399, "23:59:59"}, TimeCase{360000, "100:00:00"}, TimeCase{-75, "0:01:15"},
    TimeCase{INT32_MIN, "596523:14:08"}));

class Tick : public ::testing::Test {
 protected:
  void SetUp() override { locale.sep = {",", "."}; }
  void jobs(int n) { for (int i = 0; i < n; ++i) form.iGrid2.addRow(); }
  FormState form;
  FakeControls ui;
  FakeClock clock;
  FakeLocale locale;
  Progress p{form, ui, clock, locale};
};

TEST_F(Tick, ElapsedRoundsHalfToEven) {
  for (auto [ms, s] : {std::pair{1500, 2}, {2500, 2}, {3500, 4}, {499, 0}}) {
    clock.now = ms;
    p.Timer1Tick();
    EXPECT_EQ(form.run.ElapsedSeconds, s) << ms;
  }
}

TEST_F(Tick, SpeedPerMinuteTimesJobs) {
  jobs(3);
  form.run.BytesDone = 40LL * 1048576 * 10;
  clock.now = 10000;
  p.Timer1Tick();
  EXPECT_EQ(ui.text(Ctl::Label9), "7,200");
}

TEST_F(Tick, RateRoundedToWholeMiBFirst) {
  jobs(1);
  form.run.BytesDone = static_cast<std::int64_t>(0.4 * 1048576 * 10);
  clock.now = 10000;
  p.Timer1Tick();
  EXPECT_EQ(ui.text(Ctl::Label9), "0");
  form.run.BytesDone = static_cast<std::int64_t>(1.5 * 1048576 * 10);
  p.Timer1Tick();
  EXPECT_EQ(ui.text(Ctl::Label9), "120");
}

TEST_F(Tick, RemainingShownTwice) {
  form.run.BytesDone = 1000 * 10;
  form.run.TotalBytes = 1000 * 10 + 1000 * 2000;
  clock.now = 10000;
  p.Timer1Tick();
  EXPECT_EQ(form.run.RemainingSeconds, 2000);
  EXPECT_EQ(ui.text(Ctl::Label7), "1:06:40");
  EXPECT_EQ(ui.text(Ctl::Label12), "0:00:10");
}

TEST_F(Tick, ZeroElapsedKeepsThePreviousRate) {
  form.run.BytesPerSecond = 1234;
  form.run.BytesDone = 999999;
  clock.now = 400;
  p.Timer1Tick();
  EXPECT_EQ(form.run.ElapsedSeconds, 0);
  EXPECT_EQ(form.run.BytesPerSecond, 1234);
}

TEST_F(Tick, NoBytesYetKeepsTheRemainingTime) {
  form.run.RemainingSeconds = 77;
  form.run.TotalBytes = 1000;
  clock.now = 5000;
  p.Timer1Tick();
  EXPECT_EQ(form.run.BytesPerSecond, 0);
  EXPECT_EQ(form.run.RemainingSeconds, 77);
  EXPECT_EQ(ui.text(Ctl::Label7), "0:02:34");
}

TEST_F(Tick, OverflowSkipsOnlyItsStep) {
  // The tick wrapped: the 32-bit difference overflows, elapsed stays.
  form.run.ElapsedSeconds = 5;
  form.run.StartTick = INT32_MAX - 10;
  clock.now = INT32_MIN + 10;
  p.Timer1Tick();
  EXPECT_EQ(form.run.ElapsedSeconds, 5);
  EXPECT_EQ(ui.text(Ctl::Label12), "0:00:05");
  // A rate above 2^31-1 bytes per second is left unchanged.
  form.run.StartTick = 0;
  clock.now = 1000;
  form.run.BytesPerSecond = 42;
  form.run.BytesDone = 3'000'000'000LL;
  p.Timer1Tick();
  EXPECT_EQ(form.run.BytesPerSecond, 42);
  // Twice a remaining time above 2^30 does not fit 32 bits: Label7 keeps its text.
  ui.setText(Ctl::Label7, "kept");
  form.run.BytesDone = 1;
  form.run.TotalBytes = 2'000'000'000LL;
  p.Timer1Tick();
  EXPECT_EQ(form.run.RemainingSeconds, 1'999'999'999);
  EXPECT_EQ(ui.text(Ctl::Label7), "kept");
}

TEST_F(Tick, TickBeforeTheCopyMeasuresFromZero) {
  clock.now = 7000;
  p.Timer1Tick();
  EXPECT_EQ(ui.text(Ctl::Label12), "0:00:07");
}

TEST(ProgressBar, ShownWithRoundedMaximumOnlyForPositiveSizes) {
  FormState form;
  FakeControls ui;
  FakeClock clock;
  FakeLocale locale;
  Progress p{form, ui, clock, locale};
  ui.setVisible(Ctl::ProgBarXP1, false);
  form.run.LargestBlocks = Fixed4();
  p.ShowRunProgressBar();
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
  form.run.LargestBlocks = Fixed4::fromDouble(7.5);
  p.ShowRunProgressBar();
  EXPECT_EQ(ui.progressMaximum(), 8);
  EXPECT_TRUE(ui.isVisible(Ctl::ProgBarXP1));
  form.run.LargestBlocks = Fixed4::fromDouble(8.25);
  p.ShowRunProgressBar();
  EXPECT_EQ(ui.progressMaximum(), 9);
}

TEST(ProgressBar, BlockStepsMoveTheBarOnlyWithCheck3) {
  FormState form;
  FakeControls ui;
  FakeClock clock;
  FakeLocale locale;
  Progress p{form, ui, clock, locale};
  form.run.BlockSize = 131072;
  ui.setProgressMaximum(3);
  p.ShowBlockProgress(1);
  EXPECT_TRUE(ui.progressValues.empty());
  EXPECT_EQ(ui.text(Ctl::Label5), "131,072");
  ui.setChecked(Ctl::Check3, true);
  p.Check3Click();
  EXPECT_TRUE(ui.isVisible(Ctl::ProgBarXP1));
  p.ShowBlockProgress(2);
  p.ShowBlockProgress(4);  // beyond the maximum: the bar stays
  EXPECT_EQ(ui.progressValues, std::vector<int>{2});
  ui.setChecked(Ctl::Check3, false);
  p.ShowTailProgress(3);  // the finishing pass ignores Check3
  p.ShowTailProgress(5);
  EXPECT_EQ(ui.progressValues, (std::vector<int>{2, 3}));
  EXPECT_EQ(ui.text(Ctl::Label5), "524,288");
  p.HideRunProgressBar();
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
}

}  // namespace
}  // namespace mdi
