// Rescue maps of every kind of job end, checked block by block and by the
// real ddrescuelog. (A read error's map, in 512- or 520-byte sectors, is
// read back by the run model's resumed runs and by ddrescuelog there; its
// go-past rows mark several bad areas and merge adjacent marks of one
// status.)
#include "record/RescueMap.h"

#include <gtest/gtest.h>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t TB = 1000ull * 1000 * 1000 * 1000;

// A job that read its source up to `upTo` (past the size it was given,
// for a source that grew) and stopped or ended there.
struct MapCase {
  std::string name;
  std::uint64_t size, upTo;
  std::vector<MapBlock> blocks;
};

using S = MapStatus;
class RescueMapCases : public TempDirTestP<MapCase> {};

TEST_P(RescueMapCases, HoldsTheBlocksAndDdrescuelogAgrees) {
  const auto& c = GetParam();
  const RescueMap map = RescueMap::ofLinearRead(c.size, c.upTo);
  EXPECT_EQ(map.blocks(), c.blocks);

  // The comments naming the run and the status line come first.
  const MapHeader header{"mdimager", "1.0.0", "/dev/sdb", "/img/new\nline.bin", {}, {}, {}};
  const std::string text = rescueMapText(map, header, c.upTo);
  const bool finished = map.bytesWith(MapStatus::NonTried) == 0;
  char status[40];
  std::snprintf(status, sizeof status, "0x%08llX     %c               1\n", static_cast<unsigned long long>(c.upTo),
                finished ? '+' : '?');
  const std::string want =
      "# Mapfile. Created by mdimager version 1.0.0\n"
      "# Source: /dev/sdb\n"
      "# Image: /img/new\\nline.bin\n"
      "# Start time:   1970-01-01T00:00:00Z\n"
      "# Current time: 1970-01-01T00:00:00Z\n" +
      std::string(finished ? "# Finished\n" : "# Copying non-tried blocks... Pass 1 (forwards)\n") +
      "# current_pos  current_status  current_pass\n" + status + "#      pos        size  status\n";
  EXPECT_EQ(text.substr(0, want.size()), want);
  EXPECT_EQ(blocksOf(text), c.blocks) << "read here apart from the program's parser";

  if (!haveTool("ddrescuelog")) GTEST_SKIP() << "ddrescuelog is not installed (Debian package gddrescue)";
  const fs::path mapPath = dir / "001.bin.map";
  std::ofstream(mapPath, std::ios::binary) << text;
  const auto r = shell("ddrescuelog -t " + shellQuote(mapPath.string()));
  ASSERT_EQ(r.exitCode, 0) << r.output << "\n" << text;
  // ddrescuelog -D: 0 exactly when the rescue is finished (nothing untried).
  const auto done = shell("ddrescuelog -D " + shellQuote(mapPath.string()));
  EXPECT_EQ(done.exitCode == 0, finished) << done.output;
}

constexpr S kDone = S::Finished, kUntried = S::NonTried;

INSTANTIATE_TEST_SUITE_P(
    Jobs, RescueMapCases,
    ::testing::Values(MapCase{"Complete", MiB + 100, MiB + 100, {{0, MiB + 100, kDone}}},
                      MapCase{"StoppedBeforeAnything", 8192, 0, {{0, 8192, kUntried}}},
                      MapCase{"ReadPastTheSourcesSize", 8192, 9000, {{0, 8192, kDone}}},
                      MapCase{"TwoTerabyteDriveStoppedHalfway", 2 * TB, TB, {{0, TB, kDone}, {TB, TB, kUntried}}},
                      MapCase{"EmptySource", 0, 0, {}}),
    ByName{});

// A map is gone on from only when its blocks cover the source from 0, one
// after another, each within 2^64: a map edited or garbled otherwise is
// none of this program's, whatever its head says.
TEST(ParseRescueMap, TakesOnlyBlocksThatFollowOneAnother) {
  const std::string head = "# Mapfile. Created by mdimager version 1\n0x0  ?  1\n";
  const std::pair<const char*, bool> cases[] = {
      {"0x0 0x200 +\n0x200 0x200 -\n", true},
      {"0x0 0x200 +\n0x400 0x200 -\n", false},                             // a gap
      {"0x0 0x200 +\n0x100 0x200 -\n", false},                             // an overlap
      {"0x0 0xFFFFFFFFFFFFF000 +\n0xFFFFFFFFFFFFF000 0x2000 ?\n", false},  // past 2^64
      {"0x0 -0x1000 +\n", false},                                          // a size below 0
      {"0x0 0x200 x\n", false},                                            // no status of a map
  };
  for (const auto& [blocks, taken] : cases)
    EXPECT_EQ(parseRescueMap(head + blocks, "mdimager").has_value(), taken) << blocks;
}

}  // namespace
}  // namespace mdi::test
