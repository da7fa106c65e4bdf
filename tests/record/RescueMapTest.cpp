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

}  // namespace
}  // namespace mdi::test
