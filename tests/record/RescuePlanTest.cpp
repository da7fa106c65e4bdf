// Going past read errors, against a simulated failing disk: how far the
// first pass skips ahead after a failed read.
#include "run/RescuePlan.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "tests/CaseName.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;

// After a failed read the sweep skips ahead: 64 KiB, doubled for each
// failure in a row, at most a hundredth of the source and at most 1 GiB;
// the skipped bytes are left for its later passes.
struct SkipCase {
  std::string name;
  std::uint64_t size, badFrom, badTo;
  // From the first failure on: how far each read of the first pass skips
  // past its end (0: the next read follows on).
  std::vector<std::uint64_t> skips;
};
class Skips : public ::testing::TestWithParam<SkipCase> {};

TEST_P(Skips, SweepSkipsAheadDoublingOnEachFailureInARow) {
  const SkipCase& c = GetParam();
  // A disk of 512-byte sectors whose bytes in [badFrom, badTo) cannot be
  // read: a read brings the sectors before the first bad one and stops there.
  // (Where a rescue ends, the reads of each pass and the map it leaves are
  // the run model's go-past rows, on bad sectors, areas and flaky sectors.)
  const auto read = [&c](const RescuePlan::Read& r) -> std::pair<std::uint64_t, bool> {
    for (std::uint64_t at = r.pos; at < r.pos + r.length; at += 512)
      if (at >= c.badFrom && at < c.badTo) return {at - r.pos, true};
    return {r.length, false};
  };
  RescuePlan plan(c.size, {512, 256 * KiB, 0});
  std::vector<std::uint64_t> skips;
  std::optional<RescuePlan::Read> last;
  while (const auto r = plan.next()) {
    if (plan.phase() != RescuePhase::Sweep || plan.pass() != 1 || skips.size() == c.skips.size()) break;
    if (last) skips.push_back(r->pos - (last->pos + last->length));
    const auto [good, failed] = read(*r);
    if (failed || last) last = *r;
    plan.settle(*r, good, failed);
  }
  EXPECT_EQ(skips, c.skips);
}

// A hundredth of 64 MiB, in whole sectors.
constexpr std::uint64_t kCap = (64 * MiB / 100 + 511) / 512 * 512;
constexpr std::uint64_t GiB = 1024 * MiB;
std::vector<std::uint64_t> doublingUpTo1GiB() {
  std::vector<std::uint64_t> skips;
  for (std::uint64_t s = 64 * KiB; s <= GiB; s *= 2) skips.push_back(s);
  skips.push_back(GiB);
  return skips;
}
INSTANTIATE_TEST_SUITE_P(Areas, Skips,
                         ::testing::Values(SkipCase{"ThreeFailuresThenGood",
                                                    64 * MiB,
                                                    2 * MiB,
                                                    2 * MiB + 900 * KiB,
                                                    {64 * KiB, 128 * KiB, 256 * KiB, 0, 0}},
                                           SkipCase{"AHundredthOfTheSource",
                                                    64 * MiB,
                                                    2 * MiB,
                                                    40 * MiB,
                                                    {64 * KiB, 128 * KiB, 256 * KiB, 512 * KiB, kCap, kCap}},
                                           SkipCase{"AtMost1GiB", 400 * GiB, 2 * MiB, 300 * GiB, doublingUpTo1GiB()}),
                         ByName{});

}  // namespace
}  // namespace mdi::test
