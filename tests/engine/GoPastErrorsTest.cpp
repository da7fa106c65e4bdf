// Going past read errors, through the run: the map saved while it goes,
// and sources that are not there. What a run that goes past read errors
// leaves is predicted by the model in RunModel.h; that a saved or stopped
// map claims only what its image holds, ResumeTest sees by resuming from it.
#include <thread>

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t MiB = 1024 * 1024;

// A map is saved only once the image under it is on the medium: a target
// that cannot flush gets no map, during the run or at its end.
TEST_F(RunFixture, NoMapIsSavedOverAnImageThatCouldNotBeFlushed) {
  form.Options.goPastErrors = true;
  const std::string path = src("bad.img", patternBytes(8 * MiB, 5));
  addFileJob(path);
  files.badRanges[path] = {{MiB, MiB + 512, EIO, true, 0}};
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
  EXPECT_FALSE(fs::exists(output(1) + ".map")) << "saved at the end all the same";
}

// A source that is not there fails every read alike: going past that
// would read every sector of it in vain. Such a job ends where it could
// not read, as without going past read errors; a read failing with EIO is
// gone past.
TEST_F(RunFixture, ASourceThatIsNotThereIsNotReadAroundSectorBySector) {
  form.Options.goPastErrors = true;
  const std::string other = src("nodev.img", patternBytes(4 * MiB, 2));
  addFileJob(other);
  files.badRanges[other] = {{MiB, 4 * MiB, ENODEV, true, 0}};
  const auto reads = std::make_shared<ReadLog>();
  files.readLogs[other] = reads;
  controller.RunClicked();
  EXPECT_EQ(status(1), "Read Error ... at byte 1,048,576");
  const auto intoTheGap =
      std::count_if(reads->begin(), reads->end(), [](const ReadSpan& r) { return r.pos + r.length > MiB; });
  EXPECT_EQ(intoTheGap, 1);
}

}  // namespace
}  // namespace mdi::test
