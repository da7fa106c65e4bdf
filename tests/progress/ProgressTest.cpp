#include <gtest/gtest.h>

#include <tuple>

#include "progress/Progress.h"
#include "tests/fakes/Fakes.h"

namespace mdi {
namespace {

// (Hours, minutes and seconds as the tick below shows them are its rows.)
TEST(TimeString, FormatsHoursMinutesAndSeconds) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0:00:00"}, {360000, "100:00:00"}, {-75, "0:01:15"}, {INT32_MIN, "596523:14:08"}};
  for (const auto& [s, text] : cases) EXPECT_EQ(TimeString(s), text) << s << " s";
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { locale.sep = {",", "."}; }
  FormState form;
  FakeControls ui;
  FakeClock clock;
  FakeLocale locale;
  Progress p{form, ui, clock, locale};
};

// One refresh from a given run state: the elapsed seconds (rounded half to
// even), the rate, the remaining time, and the labels: the remaining time
// doubled (Label7, left as it was when twice does not fit 32 bits), MiB per
// minute over every job (Label9) and the elapsed time (Label12).
struct TickCase {
  const char* name;
  int jobs = 0;
  std::int32_t start = 0, now = 0, elapsed = 0;
  std::int64_t done = 0, total = 0;
  std::int32_t rate = 0, remaining = 0;
  struct {
    std::int32_t elapsed, rate, remaining;
    const char *label7, *label9, *label12;
  } want;
};

TEST_F(ProgressTest, TickShowsTimesAndRates) {
  constexpr std::int64_t MiB = 1048576;
  const TickCase cases[] = {
      {.name = "ElapsedRoundsDownToEven", .now = 2500, .want = {2, 0, 0, "0:00:00", "0", "0:00:02"}},
      {.name = "ElapsedRoundsUpToEven", .now = 3500, .want = {4, 0, 0, "0:00:00", "0", "0:00:04"}},
      {.name = "SpeedPerMinuteTimesJobs",
       .jobs = 3,
       .now = 10000,
       .done = 400 * MiB,
       .total = 800 * MiB,
       .want = {10, 40 * MiB, 10, "0:00:20", "7,200", "0:00:10"}},
      {.name = "RateBelowHalfAMiBIsZero",
       .jobs = 1,
       .now = 10000,
       .done = 4 * MiB,
       .total = 4 * MiB,
       .want = {10, 419430, 0, "0:00:00", "0", "0:00:10"}},
      {.name = "RateRoundedToWholeMiBFirst",
       .jobs = 1,
       .now = 10000,
       .done = 15 * MiB,
       .total = 15 * MiB,
       .want = {10, 1572864, 0, "0:00:00", "120", "0:00:10"}},
      {.name = "RemainingShownTwice",
       .now = 10000,
       .done = 10000,
       .total = 10000 + 1000 * 2000,
       .want = {10, 1000, 2000, "1:06:40", "0", "0:00:10"}},
      {.name = "ZeroElapsedKeepsThePreviousRate",
       .now = 400,
       .done = 999999,
       .total = 999999 + 1234 * 5,
       .rate = 1234,
       .want = {0, 1234, 5, "0:00:10", "0", "0:00:00"}},
      {.name = "NoBytesYetKeepsTheRemainingTime",
       .now = 5000,
       .total = 1000,
       .remaining = 77,
       .want = {5, 0, 77, "0:02:34", "0", "0:00:05"}},
      // The tick wrapped: the 32-bit difference overflows, elapsed stays.
      {.name = "WrappedTickKeepsTheElapsedTime",
       .start = INT32_MAX - 10,
       .now = INT32_MIN + 10,
       .elapsed = 5,
       .want = {5, 0, 0, "0:00:00", "0", "0:00:05"}},
      {.name = "RateAbove31BitsKeepsTheOldRate",
       .now = 1000,
       .done = 3'000'000'000LL,
       .total = 3'000'000'420LL,
       .rate = 42,
       .want = {1, 42, 10, "0:00:20", "0", "0:00:01"}},
      {.name = "RemainingTooLongToDoubleKeepsLabel7",
       .now = 1000,
       .done = 1,
       .total = 2'000'000'000LL,
       .want = {1, 1, 1'999'999'999, "kept", "0", "0:00:01"}},
  };
  for (const TickCase& c : cases) {
    SCOPED_TRACE(c.name);
    form = FormState{};
    for (int i = 0; i < c.jobs; ++i) form.iGrid2.addRow();
    form.run.StartTick = c.start;
    form.run.ElapsedSeconds = c.elapsed;
    form.run.BytesDone = c.done;
    form.run.TotalBytes = c.total;
    form.run.BytesPerSecond = c.rate;
    form.run.RemainingSeconds = c.remaining;
    ui.setText(Ctl::Label7, "kept");
    clock.now = c.now;
    p.Timer1Tick();
    EXPECT_EQ(std::tuple(form.run.ElapsedSeconds, form.run.BytesPerSecond, form.run.RemainingSeconds,
                         ui.text(Ctl::Label7), ui.text(Ctl::Label9), ui.text(Ctl::Label12)),
              std::tuple(c.want.elapsed, c.want.rate, c.want.remaining, c.want.label7, c.want.label9, c.want.label12));
  }
}

// The bar is shown for a positive size only, a block more than the largest
// job's, rounded half to even (the run model's runs show whole and tiny
// counts of blocks). The main pass moves it only with Check3 ticked, the
// finishing pass always, never past its maximum.
TEST_F(ProgressTest, BarFollowsTheBlocksWithinItsRoundedMaximum) {
  form.run.BlockSize = 131072;
  ui.setVisible(Ctl::ProgBarXP1, false);
  p.ShowRunProgressBar();
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
  form.run.LargestBlocks = Fixed4::fromDouble(1.5);
  p.ShowRunProgressBar();
  EXPECT_EQ(ui.progressMaximum(), 2);
  EXPECT_TRUE(ui.isVisible(Ctl::ProgBarXP1));
  p.ShowBlockProgress(1);
  EXPECT_TRUE(ui.progressValues.empty());
  EXPECT_EQ(ui.text(Ctl::Label5), "131,072");
  ui.setChecked(Ctl::Check3, true);
  p.ShowBlockProgress(2);
  p.ShowBlockProgress(3);  // beyond the maximum: the bar stays
  ui.setChecked(Ctl::Check3, false);
  p.ShowTailProgress(1);  // the finishing pass ignores Check3
  p.ShowTailProgress(3);
  EXPECT_EQ(ui.progressValues, (std::vector<int>{2, 1}));
  EXPECT_EQ(ui.text(Ctl::Label5), "393,216");
  p.HideRunProgressBar();
  EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
  ui.setChecked(Ctl::Check3, true);
  p.Check3Click();
  EXPECT_TRUE(ui.isVisible(Ctl::ProgBarXP1));
}

}  // namespace
}  // namespace mdi
