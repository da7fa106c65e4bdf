// Rescue maps of every kind of job end, checked block by block and by the
// real ddrescuelog's totals.
#include "record/RescueMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <regex>

#include "tests/record/RecordTestUtil.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;
constexpr std::uint64_t TB = 1000ull * 1000 * 1000 * 1000;

struct MapCase {
  std::string name;
  std::function<RescueMap()> make;
  std::uint64_t currentPos;
  std::vector<MapBlock> blocks;
};

using S = MapStatus;
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

  const MapHeader header{"mdimager", "1.0.0", "/dev/sdz", "/images/001.bin", {}, {}, {}};
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
  if (c.blocks.empty()) {
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
  // ddrescuelog's totals are those of the expected blocks.
  std::map<MapStatus, std::pair<std::uint64_t, int>> totals;
  for (const MapBlock& b : c.blocks) totals[b.status].first += b.size, ++totals[b.status].second;
  expectRow("rescued", totals[S::Finished].first, totals[S::Finished].second);
  expectRow("non-tried", totals[S::NonTried].first, totals[S::NonTried].second);
  expectRow("bad-sector", totals[S::Failed].first, totals[S::Failed].second);
  expectRow("non-trimmed", 0, 0);
  expectRow("non-scraped", 0, 0);
  // ddrescuelog -D: 0 exactly when the rescue is finished (nothing untried
  // or failed).
  const auto done = shell("ddrescuelog -D " + shellQuote(mapPath.string()));
  EXPECT_EQ(done.exitCode == 0, totals[S::NonTried].first == 0 && totals[S::Failed].first == 0) << done.output;
}

std::function<RescueMap()> linear(std::uint64_t size, std::uint64_t upTo, std::optional<BadArea> bad = {}) {
  return [=] { return RescueMap::ofLinearRead(size, upTo, bad); };
}
constexpr S kDone = S::Finished, kBad = S::Failed, kUntried = S::NonTried;

INSTANTIATE_TEST_SUITE_P(
    Jobs, RescueMapCases,
    ::testing::Values(
        MapCase{"Complete", linear(MiB + 100, MiB + 100), MiB + 100, {{0, MiB + 100, kDone}}},
        MapCase{"StoppedAtN",
                linear(4 * MiB, 1536 * KiB),
                1536 * KiB,
                {{0, 1536 * KiB, kDone}, {1536 * KiB, 2560 * KiB, kUntried}}},
        MapCase{"StoppedBeforeAnything", linear(8192, 0), 0, {{0, 8192, kUntried}}},
        MapCase{"ReadErrorAt520ByteSector",
                linear(520 * 4000, 520 * 1000, BadArea{520 * 1000, 520}),
                520 * 1000,
                {{0, 520000, kDone}, {520000, 520, kBad}, {520520, 520 * 4000 - 520520, kUntried}}},
        MapCase{"ReadErrorAtZero", linear(4096, 0, BadArea{0, 512}), 0, {{0, 512, kBad}, {512, 3584, kUntried}}},
        MapCase{"ReadErrorInTheLastSector",
                linear(4096, 3584, BadArea{3584, 512}),
                3584,
                {{0, 3584, kDone}, {3584, 512, kBad}}},
        MapCase{"WentOnAfterTwoErrors",
                [] {
                  auto m = RescueMap::ofLinearRead(64 * KiB, 8 * KiB, BadArea{8 * KiB, 512});
                  m.mark(8 * KiB + 512, 32 * KiB, kDone);
                  m.mark(40 * KiB + 512, 1024, kBad);
                  m.mark(40 * KiB + 1536, 100 * KiB, kDone);  // past the end: clipped
                  return m;
                },
                64 * KiB,
                {{0, 8 * KiB, kDone},
                 {8 * KiB, 512, kBad},
                 {8 * KiB + 512, 32 * KiB, kDone},
                 {40 * KiB + 512, 1024, kBad},
                 {40 * KiB + 1536, 24 * KiB - 1536, kDone}}},
        MapCase{"AdjacentMarksMerge",
                [] {
                  RescueMap m(10000);
                  m.mark(0, 2000, kDone);
                  m.mark(2000, 3000, kDone);
                  m.mark(6000, 0, kBad);  // empty: nothing
                  m.mark(5000, 5000, kDone);
                  return m;
                },
                10000,
                {{0, 10000, kDone}}},
        MapCase{"TwoTerabyteDriveStoppedHalfway", linear(2 * TB, TB), TB, {{0, TB, kDone}, {TB, TB, kUntried}}},
        MapCase{"EmptySource", linear(0, 0), 0, {}}),
    ByName{});

TEST(RescueMapText, IsCommentsStatusLineAndHexBlocks) {
  const auto map = RescueMap::ofLinearRead(0x10000, 0x8000, BadArea{0x8000, 0x200});
  const MapHeader header{"mdimager", "1.0.0", "/dev/sdb", "/img/new\nline.bin", {}, {}, {}};
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
