// Rescue maps of every kind of job end, checked block by block and by the
// real ddrescuelog's totals.
#include "engine/RescueMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;
constexpr std::uint64_t TB = 1000ull * 1000 * 1000 * 1000;

struct Totals {
  std::uint64_t rescued = 0, nonTried = 0, bad = 0;
  int rescuedAreas = 0, nonTriedAreas = 0, badAreas = 0;
};

struct MapCase {
  std::string name;
  friend void PrintTo(const MapCase& c, std::ostream* os) { *os << c.name; }
  std::uint64_t sourceSize;
  std::function<RescueMap()> make;
  std::uint64_t currentPos;
  std::vector<MapBlock> blocks;
  Totals totals;
};

class RescueMapCases : public TempDirTestP<MapCase> {};

// A ddrescuelog size ("3584 B", "1048 kB", "2000 GB") holds `bytes` when
// it is bytes cut down to its unit, as ddrescuelog rounds.
bool sizeShows(std::uint64_t bytes, std::uint64_t value, const std::string& unit) {
  static const std::map<std::string, std::uint64_t> kUnit = {{"", 1},           {"k", 1000}, {"M", 1000000},
                                                             {"G", 1000000000}, {"T", TB},   {"P", TB * 1000}};
  const auto it = kUnit.find(unit);
  return it != kUnit.end() && bytes / it->second == value;
}

TEST_P(RescueMapCases, HoldsTheBlocksAndDdrescuelogAgrees) {
  const auto& c = GetParam();
  const RescueMap map = c.make();
  EXPECT_EQ(map.blocks(), c.blocks);
  std::uint64_t covered = 0;
  for (const auto& b : map.blocks()) {
    EXPECT_EQ(b.pos, covered) << "blocks are contiguous";
    EXPECT_GT(b.size, 0u);
    covered += b.size;
  }
  EXPECT_EQ(covered, c.sourceSize);

  const MapHeader header{"mdimager", "1.0.0", "/dev/sdz", "/images/001.bin", {}, {}};
  const std::string text = rescueMapText(map, header, c.currentPos);
  const bool finished = map.bytesWith(MapStatus::NonTried) == 0;
  char status[80];
  std::snprintf(status, sizeof status, "\n0x%08llX     %c               1\n#      pos        size  status\n",
                static_cast<unsigned long long>(c.currentPos), finished ? '+' : '?');
  EXPECT_NE(text.find(status), std::string::npos) << text;

  if (!haveTool("ddrescuelog")) GTEST_SKIP() << "ddrescuelog is not installed (Debian package gddrescue)";
  const fs::path mapPath = dir / "001.bin.map";
  std::ofstream(mapPath, std::ios::binary) << text;
  const auto r = shell("ddrescuelog -t " + shellQuote(mapPath.string()));
  ASSERT_EQ(r.exitCode, 0) << r.output << "\n" << text;

  const std::regex row(
      R"(\s*(non-tried|rescued|bad-sector|non-trimmed|non-scraped):\s+(\d+) (\w?)B,\s+in\s+(\d+) area)");
  std::map<std::string, std::pair<std::pair<std::uint64_t, std::string>, int>> seen;
  for (std::sregex_iterator it(r.output.begin(), r.output.end(), row), end; it != end; ++it)
    seen[(*it)[1]] = {{std::stoull((*it)[2]), (*it)[3]}, std::stoi((*it)[4])};
  if (c.sourceSize == 0) {
    EXPECT_NE(r.output.find("empty"), std::string::npos) << r.output;
    return;
  }
  ASSERT_EQ(seen.size(), 5u) << r.output;
  auto expectRow = [&](const std::string& kind, std::uint64_t bytes, int areas) {
    const auto& [size, n] = seen[kind];
    EXPECT_TRUE(sizeShows(bytes, size.first, size.second))
        << kind << ": " << size.first << " " << size.second << "B for " << bytes << "\n"
        << r.output;
    EXPECT_EQ(n, areas) << kind << "\n" << r.output;
  };
  expectRow("rescued", c.totals.rescued, c.totals.rescuedAreas);
  expectRow("non-tried", c.totals.nonTried, c.totals.nonTriedAreas);
  expectRow("bad-sector", c.totals.bad, c.totals.badAreas);
  expectRow("non-trimmed", 0, 0);
  expectRow("non-scraped", 0, 0);
  // ddrescuelog -D: 0 exactly when the rescue is finished (nothing untried
  // or failed).
  const auto done = shell("ddrescuelog -D " + shellQuote(mapPath.string()));
  EXPECT_EQ(done.exitCode == 0, c.totals.nonTried == 0 && c.totals.bad == 0) << done.output;
}

using S = MapStatus;

INSTANTIATE_TEST_SUITE_P(
    Jobs, RescueMapCases,
    ::testing::Values(
        MapCase{"Complete",
                MiB + 100,
                [] { return RescueMap::ofLinearRead(MiB + 100, MiB + 100); },
                MiB + 100,
                {{0, MiB + 100, S::Finished}},
                {MiB + 100, 0, 0, 1, 0, 0}},
        MapCase{"StoppedAtN",
                4 * MiB,
                [] { return RescueMap::ofLinearRead(4 * MiB, 1536 * KiB); },
                1536 * KiB,
                {{0, 1536 * KiB, S::Finished}, {1536 * KiB, 2560 * KiB, S::NonTried}},
                {1536 * KiB, 2560 * KiB, 0, 1, 1, 0}},
        MapCase{"StoppedBeforeAnything",
                8192,
                [] { return RescueMap::ofLinearRead(8192, 0); },
                0,
                {{0, 8192, S::NonTried}},
                {0, 8192, 0, 0, 1, 0}},
        MapCase{"ReadErrorAt520ByteSector",
                520 * 4000,
                [] {
                  return RescueMap::ofLinearRead(520 * 4000, 520 * 1000, BadArea{520 * 1000, 520});
                },
                520 * 1000,
                {{0, 520000, S::Finished}, {520000, 520, S::Failed}, {520520, 520 * 4000 - 520520, S::NonTried}},
                {520000, 520 * 4000 - 520520, 520, 1, 1, 1}},
        MapCase{"ReadErrorAtZero",
                4096,
                [] {
                  return RescueMap::ofLinearRead(4096, 0, BadArea{0, 512});
                },
                0,
                {{0, 512, S::Failed}, {512, 3584, S::NonTried}},
                {0, 3584, 512, 0, 1, 1}},
        MapCase{"ReadErrorInTheLastSector",
                4096,
                [] {
                  return RescueMap::ofLinearRead(4096, 3584, BadArea{3584, 512});
                },
                3584,
                {{0, 3584, S::Finished}, {3584, 512, S::Failed}},
                {3584, 0, 512, 1, 0, 1}},
        MapCase{"WentOnAfterTwoErrors",
                64 * KiB,
                [] {
                  auto m = RescueMap::ofLinearRead(64 * KiB, 8 * KiB, BadArea{8 * KiB, 512});
                  m.mark(8 * KiB + 512, 32 * KiB, S::Finished);
                  m.mark(40 * KiB + 512, 1024, S::Failed);
                  m.mark(40 * KiB + 1536, 100 * KiB, S::Finished);  // past the end: clipped
                  return m;
                },
                64 * KiB,
                {{0, 8 * KiB, S::Finished},
                 {8 * KiB, 512, S::Failed},
                 {8 * KiB + 512, 32 * KiB, S::Finished},
                 {40 * KiB + 512, 1024, S::Failed},
                 {40 * KiB + 1536, 24 * KiB - 1536, S::Finished}},
                {64 * KiB - 1536, 0, 1536, 3, 0, 2}},
        MapCase{"AdjacentMarksMerge",
                10000,
                [] {
                  RescueMap m(10000);
                  m.mark(0, 2000, S::Finished);
                  m.mark(2000, 3000, S::Finished);
                  m.mark(6000, 0, S::Failed);  // empty: nothing
                  m.mark(5000, 5000, S::Finished);
                  return m;
                },
                10000,
                {{0, 10000, S::Finished}},
                {10000, 0, 0, 1, 0, 0}},
        MapCase{"TwoTerabyteDriveStoppedHalfway",
                2 * TB,
                [] { return RescueMap::ofLinearRead(2 * TB, TB); },
                TB,
                {{0, TB, S::Finished}, {TB, TB, S::NonTried}},
                {TB, TB, 0, 1, 1, 0}},
        MapCase{"EmptySource", 0, [] { return RescueMap::ofLinearRead(0, 0); }, 0, {}, {}}),
    CaseName{});

TEST(RescueMapText, IsCommentsStatusLineAndHexBlocks) {
  const auto map = RescueMap::ofLinearRead(0x10000, 0x8000, BadArea{0x8000, 0x200});
  const MapHeader header{"mdimager", "1.0.0", "/dev/sdb", "/img/new\nline.bin", {}, {}};
  const std::string text = rescueMapText(map, header, 0x8000);
  EXPECT_EQ(text,
            "# Mapfile. Created by mdimager version 1.0.0\n"
            "# Source: /dev/sdb\n"
            "# Image: /img/new\\nline.bin\n"
            "# Start time:   1970-01-01T00:00:00Z\n"
            "# Current time: 1970-01-01T00:00:00Z\n"
            "# Copying non-tried blocks... Pass 1 (forwards)\n"
            "# current_pos  current_status  current_pass\n"
            "0x00008000     ?               1\n"
            "#      pos        size  status\n"
            "0x00000000  0x00008000  +\n"
            "0x00008000  0x00000200  -\n"
            "0x00008200  0x00007E00  ?\n");
}

}  // namespace
}  // namespace mdi::test
