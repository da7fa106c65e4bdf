// Resume: a job goes on from the map an earlier run left beside its image,
// after a Stop, after Exit, after the program was killed, or after a read
// error ended it, and ends with the image, .extra, map and checksum of a
// run that was never interrupted. A map that is not of this job's source,
// sizes, layout or image is refused, naming the file, and nothing changes.
#include <fstream>
#include <sstream>
#include <thread>

#include "record/RescueMap.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB;

enum class Break { Stop, Exit, Kill, ReadErrorNotGonePast };

struct ResumeCase {
  std::string name;
  bool mutate;
  SectorLayout layout;
  Break how;
  int at;  // the cycle it happens in
  // The pass the map left says the job was in: '?' the sweep, '*' trimming.
  char pass = '?';
};

char passOf(const std::string& mapText) {
  std::istringstream in(mapText);
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line);
    std::string pos, status;
    if (!line.starts_with("#") && l >> pos >> status) return status.at(0);
  }
  return 0;
}

// What a job leaves beside its image, to compare.
struct Left {
  Bytes image, extra;
  std::vector<MapBlock> map;
  std::string sha256, status;
  friend bool operator==(const Left&, const Left&) = default;
};

class ResumeRuns : public RunFixture, public ::testing::WithParamInterface<ResumeCase> {
 public:
  std::string path;
  std::size_t sectorIn() const { return GetParam().mutate ? 520 : 512; }
  void SetUp() override {
    RunFixture::SetUp();
    if (IsSkipped()) return;
    const ResumeCase& c = GetParam();
    setMutate(c.mutate);
    form.Options.layout = c.layout;
    const std::size_t s = sectorIn();
    path = src("disk.img", patternBytes(16000 * s, 8));
    addFileJob(path, -1, std::to_string(s), "512");
    badSectors();
  }
  void badSectors() {
    const std::uint64_t s = sectorIn();
    files.badRanges[path] = {{3000 * s, 3001 * s, EIO, true, 0}, {9000 * s, 9040 * s, EIO, true, 0}};
  }
  Left left() {
    return {readFile(output(1)), fs::exists(extraOf(1)) ? readFile(extraOf(1)) : Bytes{},
            blocksOf(fileText(output(1) + ".map")), fileText(output(1) + ".sha256"), status(1)};
  }
  void removeOutputs() {
    for (const char* beside : {"", ".extra", ".sha256", ".log", ".map"}) fs::remove(output(1) + beside);
  }
};

TEST_P(ResumeRuns, EndsAsARunThatWasNeverInterrupted) {
  const ResumeCase& c = GetParam();
  form.Options.goPastErrors = true;
  controller.RunClicked();
  const Left whole = left();
  ASSERT_EQ(whole.status,
            "Read Errors: " + formatGrouped(static_cast<std::int64_t>(41 * sectorIn()), locale.sep) + " bytes unread");
  removeOutputs();
  badSectors();

  // Interrupted.
  std::map<std::string, Bytes> atKill;
  form.Options.goPastErrors = c.how != Break::ReadErrorNotGonePast;
  const int base = pump.calls;
  switch (c.how) {
    case Break::Stop:
      pressStopAt(base + c.at);
      break;
    case Break::Exit:
      pump.at(base + c.at, [&] { controller.closeAllFiles(); });
      break;
    case Break::Kill:
      // What is on disk once a map has been saved mid-run: the image goes
      // on being written after it.
      pump.at(base + 2, [&] { clock.now += 31000; });
      pump.at(base + c.at, [&] {
        const auto map = fs::path(output(1) + ".map");
        for (int i = 0; i < 300 && !fs::exists(map); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const char* beside : {"", ".extra", ".map"})
          if (fs::exists(output(1) + beside)) atKill[beside] = readFile(output(1) + beside);
        pressStop();
      });
      break;
    case Break::ReadErrorNotGonePast:
      break;
  }
  controller.RunClicked();
  if (c.how == Break::Kill) {
    removeOutputs();
    for (const auto& [beside, bytes] : atKill) writeBytes(output(1) + beside, bytes);
    ASSERT_TRUE(atKill.contains(".map")) << "no map was saved during the run";
  } else if (c.how == Break::ReadErrorNotGonePast) {
    EXPECT_TRUE(status(1).starts_with("Read Error ... at byte ")) << status(1);
  } else {
    EXPECT_EQ(status(1), "Stopped") << "the run was not interrupted";
    EXPECT_EQ(passOf(fileText(output(1) + ".map")), c.pass);
  }

  // Resumed, going past read errors.
  form.Options.goPastErrors = true;
  badSectors();
  msg.answerOnce("File exists", MsgAnswer::Resume);
  const std::size_t asked = msg.shown.size();
  controller.RunClicked();
  ASSERT_GT(msg.shown.size(), asked);
  EXPECT_EQ(msg.shown[asked].buttons, MsgButtons::YesNoResume);
  const Left resumed = left();
  EXPECT_EQ(resumed.status, whole.status);
  EXPECT_TRUE(resumed.image == whole.image) << firstDifference(resumed.image, whole.image);
  EXPECT_TRUE(resumed.extra == whole.extra) << firstDifference(resumed.extra, whole.extra);
  EXPECT_EQ(resumed.map, whole.map);
  EXPECT_EQ(resumed.sha256, whole.sha256);
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, ResumeRuns,
    ::testing::Values(
        ResumeCase{"StraightStoppedInTheSweep", false, SectorLayout::DataFirst, Break::Stop, 4},
        ResumeCase{"StraightStoppedInTrimming", false, SectorLayout::DataFirst, Break::Stop, 180, '*'},
        ResumeCase{"StraightExit", false, SectorLayout::DataFirst, Break::Exit, 5},
        ResumeCase{"StraightKilled", false, SectorLayout::DataFirst, Break::Kill, 6},
        ResumeCase{"StraightAfterAReadError", false, SectorLayout::DataFirst, Break::ReadErrorNotGonePast, 0},
        ResumeCase{"Mutate520StoppedInTheSweep", true, SectorLayout::DataFirst, Break::Stop, 4},
        ResumeCase{"Mutate520ExitInTrimming", true, SectorLayout::DataLast, Break::Exit, 180, '*'},
        ResumeCase{"Mutate520GroupsKilled", true, SectorLayout::Groups4K, Break::Kill, 6},
        ResumeCase{"Mutate520AfterAReadError", true, SectorLayout::DataFirst, Break::ReadErrorNotGonePast, 0}),
    ByName{});

struct RefusalCase {
  std::string name;
  bool mutate;
  // Changes the source, the job, the map or the image after a stopped run.
  std::function<void(RunFixture&, const std::string& source)> change;
  std::string why;     // "" when the map is not offered for resuming at all
  bool drive = false;  // the source is drive 3, else an image file
};

constexpr const char* kWwn = "0x5000c500a1b2c3d4";

class ResumeRefusals : public RunFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ResumeRefusals, NameTheFileAndChangeNothing) {
  const RefusalCase& c = GetParam();
  setMutate(c.mutate);
  form.Options.goPastErrors = true;
  const std::string in = c.mutate ? "520" : "512";
  const std::string path = src("disk.img", patternBytes(16000 * 520, 8));
  if (c.drive) {
    drives.add(3, {DriveIdentity{"/dev/sdx", 16000 * 520, kWwn}, path, 0, ""});
    addDriveJob("3", 16000 * 520, "", in, "512");
  } else {
    addFileJob(path, -1, in, "512");
  }
  pressStopAt(4);
  controller.RunClicked();
  ASSERT_EQ(status(1), "Stopped");
  c.change(*this, path);
  const auto before = treeOf(dir);
  msg.answerOnce("File exists", c.why.empty() ? MsgAnswer::No : MsgAnswer::Resume);
  const std::size_t asked = msg.shown.size();
  controller.RunClicked();
  ASSERT_GT(msg.shown.size(), asked);
  EXPECT_EQ(msg.shown[asked].buttons, c.why.empty() ? MsgButtons::YesNo : MsgButtons::YesNoResume);
  if (!c.why.empty()) {
    ASSERT_GE(msg.shown.size(), asked + 2);
    EXPECT_EQ(msg.shown[asked + 1].title, "Error");
    std::string why = c.why;
    if (const auto at = why.find("IMAGE"); at != std::string::npos) why.replace(at, 5, output(1));
    if (const auto at = why.find("SOURCE"); at != std::string::npos) why.replace(at, 6, path);
    EXPECT_EQ(msg.shown[asked + 1].text, "Cannot resume from " + output(1) + ".map: " + why + ".");
  }
  EXPECT_EQ(status(1), "Not imaged");
  EXPECT_EQ(treeOf(dir), before);
}

void overwriteStart(RunFixture&, const std::string& source) {
  std::fstream f(source, std::ios::in | std::ios::out | std::ios::binary);
  f.write(std::string(4096, 'x').data(), 4096);
}
void growBy8Sectors(RunFixture& f, const std::string& source) {
  fs::resize_file(source, fs::file_size(source) + 8 * 520);
  f.form.iGrid2.setValue(1, JobCol::SizeI, static_cast<std::int64_t>(fs::file_size(source)));
}
void otherWwn(RunFixture& f, const std::string& source) {
  f.drives.add(3, {DriveIdentity{"/dev/sdx", 16000 * 520, "0x5000c500ffffffff"}, source, 0, ""});
}
void cutImage(RunFixture& f, const std::string&) { fs::resize_file(f.output(1), 1000); }
void cutExtra(RunFixture& f, const std::string&) { fs::resize_file(f.extraOf(1), 100); }
void removeExtra(RunFixture& f, const std::string&) { fs::remove(f.extraOf(1)); }
void removeSource(RunFixture&, const std::string& source) { fs::remove(source); }
void otherSectorIn(RunFixture& f, const std::string&) { f.form.iGrid2.setValue(1, JobCol::SectorIn, "524"); }
void otherLayout(RunFixture& f, const std::string&) { f.form.Options.layout = SectorLayout::DataLast; }
void foreignMap(RunFixture& f, const std::string&) {
  std::string text = fileText(f.output(1) + ".map");
  text.replace(0, text.find('\n'), "# Mapfile. Created by GNU ddrescue version 1.27");
  std::ofstream(f.output(1) + ".map", std::ios::trunc) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ResumeRefusals,
    ::testing::Values(
        RefusalCase{"OtherSourceContent", false, overwriteStart,
                    "the source's first 64 KiB differ from the image's: it is not the source the image was made from"},
        RefusalCase{"OtherSourceSize", true, growBy8Sectors,
                    "the source is 8324160 bytes, not the 8320000 bytes of the source the image was made from"},
        RefusalCase{"OtherDriveWwn", false, otherWwn,
                    "the source's serial is 0x5000c500ffffffff, not 0x5000c500a1b2c3d4 as the image's source's was",
                    true},
        RefusalCase{"ImageChangedLength", false, cutImage, "the image IMAGE has changed length"},
        RefusalCase{"ExtraChangedLength", true, cutExtra, "the file IMAGE.extra has changed length"},
        RefusalCase{"ExtraMissing", true, removeExtra, "the file IMAGE.extra is missing"},
        RefusalCase{"SourceGone", false, removeSource, "SOURCE could not be opened: No such file or directory"},
        RefusalCase{"OtherSectorSizes", true, otherSectorIn,
                    "the image was made with other sector sizes or another sector layout"},
        RefusalCase{"OtherLayout", true, otherLayout,
                    "the image was made with other sector sizes or another sector layout"},
        RefusalCase{"MapOfAnotherProgram", false, foreignMap, ""}),
    ByName{});

}  // namespace
}  // namespace mdi::test
