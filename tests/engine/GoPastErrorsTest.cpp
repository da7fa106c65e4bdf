// Going past read errors, through the run: a job with unreadable sectors
// images its source at full length with zeros for them, says how many
// bytes it could not read, and leaves a map ddrescuelog reads; the other
// job of the run is not held back. A reference model predicts the image,
// .extra, map and status from the faults alone.
#include <sstream>
#include <thread>

#include "record/RescueMap.h"

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;

struct GoPastCase {
  std::string name;
  bool mutate;
  std::size_t sectorIn;  // to 512
  SectorLayout layout;
  std::uint64_t size;
  std::vector<BadRange> bad;
  int retryPasses;
  // The statuses after the main pass, before the last one.
  std::vector<std::string> passes;
};

// The model: a sector (of Sector In bytes) stays unread when a range that
// never gives in touches it, or a flaky one that fails more often than
// the sweep, trim and the retry passes read it.
RescueMap expectedMap(const GoPastCase& c) {
  RescueMap map(c.size);
  map.mark(0, c.size, MapStatus::Finished);
  const std::uint64_t s = c.sectorIn;
  for (const BadRange& b : c.bad) {
    if (b.failTimes != 0 && b.failTimes < 2 + c.retryPasses) continue;
    const std::uint64_t from = b.begin / s * s;
    map.mark(from, b.end - from + s - 1 - (b.end - from + s - 1) % s, MapStatus::Failed);
  }
  return map;
}

Bytes zeroedWhereUnread(Bytes data, const RescueMap& map) {
  for (const MapBlock& b : map.blocks())
    if (b.status == MapStatus::Failed)
      std::fill_n(data.begin() + static_cast<long>(b.pos), static_cast<long>(b.size), std::byte{0});
  return data;
}

class GoPast : public RunFixture, public ::testing::WithParamInterface<GoPastCase> {};

TEST_P(GoPast, ImagesEveryReadableByteAndMapsTheRest) {
  const GoPastCase& c = GetParam();
  setMutate(c.mutate);
  form.Options.goPastErrors = true;
  form.Options.retryPasses = c.retryPasses;
  form.Options.layout = c.layout;
  const Bytes data = patternBytes(c.size, 3);
  const Bytes other = patternBytes(2 * MiB + 1040, 4);
  const std::string path = src("bad.img", data);
  const std::string in = std::to_string(c.sectorIn);
  addFileJob(path, -1, in, "512");
  addFileJob(src("good.img", other), -1, in, "512");
  files.badRanges[path] = c.bad;
  const auto reads = std::make_shared<ReadLog>();
  files.readLogs[path] = reads;
  StatusTrail trail(form.iGrid2);
  controller.RunClicked();

  const RescueMap map = expectedMap(c);
  const std::uint64_t unread = map.bytesWith(MapStatus::Failed);
  std::uint64_t areas = 0;
  for (const MapBlock& b : map.blocks()) areas += b.status == MapStatus::Failed;
  const Split want = layoutOracle(c.layout, c.sectorIn, 512, zeroedWhereUnread(data, map));
  const Bytes image = readFile(output(1));
  EXPECT_TRUE(image == want.image) << firstDifference(image, want.image);
  if (!want.extra.empty()) {
    const Bytes extra = readFile(extraOf(1));
    EXPECT_TRUE(extra == want.extra) << firstDifference(extra, want.extra);
  }
  const std::string text = fileText(output(1) + ".map");
  EXPECT_EQ(blocksOf(text), map.blocks()) << text;
  const std::string finalStatus =
      unread == 0 ? "Done."
                  : "Read Errors: " + formatGrouped(static_cast<std::int64_t>(unread), locale.sep) + " bytes unread";
  EXPECT_EQ(status(1), finalStatus);
  std::vector<std::string> statuses =
      c.mutate ? std::vector<std::string>{"Imaging..."} : std::vector<std::string>{"Preparing output file", "Imaging"};
  statuses.insert(statuses.end(), {"Waiting ...", "Finishing..."});
  statuses.insert(statuses.end(), c.passes.begin(), c.passes.end());
  statuses.push_back(finalStatus);
  EXPECT_EQ(trail.rows[1], statuses);
  const Fields fields{{"bad_areas", std::to_string(areas)},
                      {"unread_bytes", std::to_string(unread)},
                      {"bytes_read", std::to_string(c.size - unread)}};
  EXPECT_EQ(fieldsOf(record(1), fields), fields);

  // No bad sector read more often than once per pass.
  for (const BadRange& b : c.bad) {
    for (std::uint64_t s = b.begin / c.sectorIn * c.sectorIn; s < b.end; s += c.sectorIn) {
      int touched = 0;
      for (const ReadSpan& r : *reads) touched += r.pos < s + c.sectorIn && r.pos + r.length > s;
      EXPECT_LE(touched, 2 + c.retryPasses) << "reads over the bad sector at " << s;
    }
  }
  EXPECT_EQ(status(2), "Done.");
  EXPECT_TRUE(readFile(output(2)) == layoutOracle(c.layout, c.sectorIn, 512, other).image);

  if (!haveTool("ddrescuelog") || !haveTool("sha256sum")) GTEST_SKIP() << "ddrescuelog or sha256sum missing";
  const auto t = shell("ddrescuelog -t " + shellQuote(output(1) + ".map"));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  const auto sum = shell("cd " + shellQuote((dir / "out").string()) + " && sha256sum -c " +
                         shellQuote(fs::path(output(1)).filename().string() + ".sha256"));
  EXPECT_EQ(sum.exitCode, 0) << sum.output;
}

BadRange always(std::uint64_t at, std::uint64_t length, bool whole = true) { return {at, at + length, EIO, whole, 0}; }
BadRange flaky(std::uint64_t at, int times) { return {at, at + 512, EIO, true, times}; }
const std::vector<std::string> kTrim{"Trimming"};

INSTANTIATE_TEST_SUITE_P(
    Faults, GoPast,
    ::testing::Values(
        GoPastCase{
            "StraightOneBadSector", false, 512, SectorLayout::DataFirst, 4 * MiB, {always(MiB + 3584, 512)}, 0, kTrim},
        GoPastCase{"StraightBadArea",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   4 * MiB,
                   {always(MiB, 40 * KiB)},
                   0,
                   {"Trimming", "Scraping"}},
        GoPastCase{"StraightSectorZero", false, 512, SectorLayout::DataFirst, 4 * MiB, {always(0, 512)}, 0, kTrim},
        GoPastCase{"StraightPartialLastSector",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   4 * MiB + 100,
                   {always(4 * MiB, 100)},
                   0,
                   kTrim},
        GoPastCase{"StraightShortReadIntoTwoSectors",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   4 * MiB,
                   {always(MiB + 100, 512, false)},
                   0,
                   kTrim},
        GoPastCase{"StraightWholeSource",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   64 * KiB,
                   {always(0, 64 * KiB)},
                   0,
                   {"Trimming", "Scraping"}},
        GoPastCase{
            "StraightFlakyReadsInTrim", false, 512, SectorLayout::DataFirst, 4 * MiB, {flaky(2 * MiB, 1)}, 0, kTrim},
        GoPastCase{"StraightFlakyReadsInRetry",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   4 * MiB,
                   {flaky(2 * MiB, 2)},
                   1,
                   {"Trimming", "Retrying 1 of 1"}},
        GoPastCase{"StraightFlakyOutlastsThreeRetries",
                   false,
                   512,
                   SectorLayout::DataFirst,
                   4 * MiB,
                   {flaky(2 * MiB, 5)},
                   3,
                   {"Trimming", "Retrying 1 of 3", "Retrying 2 of 3", "Retrying 3 of 3"}},
        GoPastCase{"Mutate520OneBadSector",
                   true,
                   520,
                   SectorLayout::DataFirst,
                   520 * 8000,
                   {always(520 * 3000, 520)},
                   0,
                   kTrim},
        GoPastCase{"Mutate520AreaAcrossGroups",
                   true,
                   520,
                   SectorLayout::Groups4K,
                   520 * 8000,
                   {always(520 * (8 * 100 + 3), 520 * 30)},
                   0,
                   {"Trimming", "Scraping"}},
        GoPastCase{"Mutate520DataLastLastSector",
                   true,
                   520,
                   SectorLayout::DataLast,
                   520 * 8000,
                   {always(520 * 7999, 520)},
                   0,
                   kTrim},
        GoPastCase{"Mutate512Flaky", true, 512, SectorLayout::DataFirst, 4 * MiB, {flaky(3 * MiB, 1)}, 0, kTrim}),
    ByName{});

// Whatever a map calls read is in the image, at its place: the map saved
// while the run goes (every 30 s) and the one a Stop leaves, in the sweep
// and in the passes after it.
class StopGoingPast : public RunFixture, public ::testing::WithParamInterface<int> {
 public:
  void expectHeld(const std::string& mapText, const Bytes& image, const Bytes& data) {
    const auto blocks = blocksOf(mapText);
    ASSERT_FALSE(blocks.empty()) << mapText;
    EXPECT_EQ(blocks.back().pos + blocks.back().size, data.size()) << "the map covers the source";
    for (const MapBlock& b : blocks) {
      if (b.status != MapStatus::Finished) continue;
      ASSERT_LE(b.pos + b.size, image.size()) << mapText;
      EXPECT_TRUE(std::equal(data.begin() + static_cast<long>(b.pos), data.begin() + static_cast<long>(b.pos + b.size),
                             image.begin() + static_cast<long>(b.pos)))
          << "block at " << b.pos;
    }
  }
};

TEST_P(StopGoingPast, LeavesAMapThatClaimsOnlyWhatTheImageHolds) {
  const int stopAt = GetParam();
  form.Options.goPastErrors = true;
  const Bytes data = patternBytes(8 * MiB, 5);
  const std::string path = src("bad.img", data);
  addFileJob(path);
  files.badRanges[path] = {always(MiB, 64 * KiB), always(5 * MiB, 512)};
  std::string savedMap;
  Bytes imageThen;
  pump.at(2, [&] { clock.now += 31000; });
  pump.at(4, [&] {
    const auto map = fs::path(output(1) + ".map");
    for (int i = 0; i < 200 && !fs::exists(map); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    savedMap = fileText(map);
    imageThen = readFile(output(1));
  });
  pressStopAt(stopAt);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Stopped");
  const std::string left = fileText(output(1) + ".map");
  EXPECT_EQ(left.find("# Copying") != std::string::npos, stopAt == 6) << left;
  expectHeld(savedMap, imageThen, data);
  expectHeld(fileText(output(1) + ".map"), readFile(output(1)), data);
}
// Cycle 6 is in the sweep, past the first bad area; 180 in the passes after it.
INSTANTIATE_TEST_SUITE_P(Cycles, StopGoingPast, ::testing::Values(6, 180));

// A map is saved only once the image under it is on the medium: a target
// that cannot flush gets no map during the run.
TEST_F(RunFixture, NoMapIsSavedOverAnImageThatCouldNotBeFlushed) {
  form.Options.goPastErrors = true;
  const std::string path = src("bad.img", patternBytes(8 * MiB, 5));
  addFileJob(path);
  files.badRanges[path] = {always(MiB, 512)};
  files.failSync.insert(output(1));
  bool mapThen = true;
  pump.at(2, [&] { clock.now += 31000; });
  pump.at(4, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    mapThen = fs::exists(output(1) + ".map");
  });
  controller.RunClicked();
  EXPECT_FALSE(mapThen);
  EXPECT_EQ(status(1), "Write Error ...");
}

// A source that is not there fails every read alike: going past that
// would read every sector of it in vain. Such a job ends where it could
// not read, as without going past read errors; a read failing with EIO is
// gone past.
TEST_F(RunFixture, ASourceThatIsNotThereIsNotReadAroundSectorBySector) {
  form.Options.goPastErrors = true;
  const std::string path = src("gone.img", patternBytes(4 * MiB, 1));
  addFileJob(path);
  fs::remove(path);
  const std::string other = src("nodev.img", patternBytes(4 * MiB, 2));
  addFileJob(other);
  files.badRanges[other] = {{MiB, 4 * MiB, ENODEV, true, 0}};
  const auto reads = std::make_shared<ReadLog>();
  files.readLogs[other] = reads;
  controller.RunClicked();
  EXPECT_EQ(status(1), "Not imaged: " + path + " could not be opened: No such file or directory");
  EXPECT_EQ(status(2), "Read Error ... at byte 1,048,576");
  const auto intoTheGap =
      std::count_if(reads->begin(), reads->end(), [](const ReadSpan& r) { return r.pos + r.length > MiB; });
  EXPECT_EQ(intoTheGap, 1);
}

}  // namespace
}  // namespace mdi::test
