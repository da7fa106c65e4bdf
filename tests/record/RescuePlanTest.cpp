// Going past read errors, against a simulated failing disk: every sector
// that can be read ends up read, every one that cannot is marked bad, and
// no sector is read more often than the passes allow.
#include "run/RescuePlan.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>

#include "tests/CaseName.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;

// A disk of 512-byte sectors. A read brings the sectors before the first
// one that fails and stops there; a bad sector fails every read. (Sectors
// of other sizes and flaky sectors are the run model's rows.)
struct Disk {
  std::uint64_t size = 0;
  std::uint64_t grain = 512;
  std::set<std::uint64_t> bad;           // sector numbers
  std::uint64_t badFrom = 0, badTo = 0;  // and every byte in [badFrom, badTo)
  // Reads of each sector, by pass: "sweep", "trim/scrape", "retry N".
  std::map<std::uint64_t, std::map<std::string, int>> reads;

  std::pair<std::uint64_t, bool> read(const RescuePlan::Read& r, const std::string& pass) {
    for (std::uint64_t at = r.pos; at < r.pos + r.length; at += grain) {
      const std::uint64_t s = at / grain;
      ++reads[s][pass];
      if (bad.contains(s) || (at >= badFrom && at < badTo)) return {at - r.pos, true};
    }
    return {r.length, false};
  }
};

std::string passOf(const RescuePlan& plan) {
  switch (plan.phase()) {
    case RescuePhase::Sweep:
      return "sweep";
    case RescuePhase::Trim:
    case RescuePhase::Scrape:
      return "trim/scrape";
    case RescuePhase::Retry:
      return "retry " + std::to_string(plan.pass());
    case RescuePhase::Finished:
      break;
  }
  return "after the end";
}

// Runs the plan to its end over the disk; the reads it asked for, in order.
std::vector<RescuePlan::Read> rescue(RescuePlan& plan, Disk& disk) {
  std::vector<RescuePlan::Read> asked;
  while (const auto r = plan.next()) {
    EXPECT_EQ(r->pos % disk.grain, 0u) << "a read starts on a sector";
    EXPECT_GT(r->length, 0u);
    asked.push_back(*r);
    const auto [good, failed] = disk.read(*r, passOf(plan));
    plan.settle(*r, good, failed);
    if (asked.size() > 1000000) {
      ADD_FAILURE() << "the plan does not end";
      break;
    }
  }
  return asked;
}

struct PlanCase {
  std::string name;
  std::uint64_t size;
  std::set<std::uint64_t> bad;
  int retryPasses = 0;
};

class Plans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plans, ReadEveryReadableSectorAndNoSectorTooOften) {
  const PlanCase& c = GetParam();
  Disk disk{c.size, 512, c.bad, 0, 0, {}};
  RescuePlan plan(c.size, {512, 256 * KiB, c.retryPasses});
  rescue(plan, disk);
  ASSERT_EQ(plan.phase(), RescuePhase::Finished);

  // The oracle: bad sectors are '-', everything else '+'.
  RescueMap want(c.size);
  want.mark(0, c.size, MapStatus::Finished);
  for (std::uint64_t s : c.bad) want.mark(s * 512, 512, MapStatus::Failed);
  EXPECT_EQ(plan.map().blocks(), want.blocks());
  EXPECT_EQ(plan.unreadBytes(), want.bytesWith(MapStatus::Failed));
  EXPECT_EQ(plan.triedExtent(), c.size);

  for (const auto& [sector, byPass] : disk.reads)
    for (const auto& [pass, n] : byPass)
      EXPECT_LE(n, 1) << "sector " << sector << " read " << n << " times in " << pass;
}

std::set<std::uint64_t> range(std::uint64_t from, std::uint64_t count) {
  std::set<std::uint64_t> s;
  for (std::uint64_t i = 0; i < count; ++i) s.insert(from + i);
  return s;
}

std::set<std::uint64_t> every(std::uint64_t step, std::uint64_t below) {
  std::set<std::uint64_t> s;
  for (std::uint64_t i = step; i < below; i += step) s.insert(i);
  return s;
}

INSTANTIATE_TEST_SUITE_P(Disks, Plans,
                         // (No error, one bad sector, the last one, sector zero, a partial last
                         // sector, the whole source, a bad area, 520-byte sectors and flaky
                         // sectors read in trimming, in a retry or never are rows of the run
                         // model, which checks the map and the reads per pass too.)
                         ::testing::Values(PlanCase{"TwoAreasCloseTogether", 32 * MiB,
                                                    [] {
                                                      auto s = range(20000, 300);
                                                      s.merge(range(20600, 300));
                                                      return s;
                                                    }()},
                                           PlanCase{"ScatteredSectors", 16 * MiB, every(997, 32768)},
                                           PlanCase{"BadSectorsRetriedThreeTimes", 8 * MiB, range(3000, 40), 3}),
                         ByName{});

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
  Disk disk{c.size, 512, {}, c.badFrom, c.badTo, {}};
  RescuePlan plan(disk.size, {512, 256 * KiB, 0});
  std::vector<std::uint64_t> skips;
  std::optional<RescuePlan::Read> last;
  while (const auto r = plan.next()) {
    if (plan.phase() != RescuePhase::Sweep || plan.pass() != 1 || skips.size() == c.skips.size()) break;
    if (last) skips.push_back(r->pos - (last->pos + last->length));
    const auto [good, failed] = disk.read(*r, "sweep");
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
