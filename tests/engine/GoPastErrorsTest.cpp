// Going past read errors, through the run: the maps saved while it goes
// and left by a Stop, and sources that are not there. What a run that goes
// past read errors leaves is predicted by the model in RunOracle.h.
#include <thread>

#include "record/RescueMap.h"

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;

BadRange always(std::uint64_t at, std::uint64_t length) { return {at, at + length, EIO, true, 0}; }

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
