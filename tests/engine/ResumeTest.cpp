// Resume refused: a map that is not of this job's source, sizes, layout or
// image is refused, naming the file, and nothing changes. And what an
// earlier run left is neither lost nor trusted beyond what it holds. (Resuming
// from a map a Stop, Exit, a kill or a read error left is a row of the run
// model.)
#include <fstream>

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

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

// The target fills up while a job resumed goes on: the image keeps every
// byte the earlier run put in it, and its map still says where they are.
class FullWhileResuming : public RunFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(FullWhileResuming, KeepsWhatTheImageHeld) {
  setMutate(GetParam());
  form.Options.goPastErrors = true;
  const Bytes data = patternBytes(16000 * 520, 11);
  addFileJob(src("disk.img", data), -1, GetParam() ? "520" : "512", "512");
  pressStopAt(20);
  controller.RunClicked();
  ASSERT_EQ(status(1), "Stopped");
  const Bytes image = readFile(output(1));
  const Bytes extra = GetParam() ? readFile(extraOf(1)) : Bytes{};
  const std::string map = fileText(output(1) + ".map");
  files.writeLimit[output(1)] = image.size();
  msg.answerOnce("File exists", MsgAnswer::Resume);
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_TRUE(readFile(output(1)) == image) << firstDifference(readFile(output(1)), image);
  EXPECT_TRUE((GetParam() ? readFile(extraOf(1)) : Bytes{}) == extra);
  EXPECT_EQ(fileText(output(1) + ".map").substr(map.find("#      pos")), map.substr(map.find("#      pos")));
}
INSTANTIATE_TEST_SUITE_P(Jobs, FullWhileResuming, ::testing::Values(false, true),
                         [](const auto& i) { return std::string(i.param ? "Mutate" : "Straight"); });

// Overwriting (Yes) a job's files that a map was left beside: the map goes
// before the image is emptied, so the program killed then leaves no map
// vouching for bytes the new image does not hold.
TEST_F(RunFixture, OverwritingRemovesTheMapBeforeTheImage) {
  form.Options.goPastErrors = true;
  addFileJob(src("disk.img", patternBytes(8 << 20, 12)));
  pressStopAt(20);
  controller.RunClicked();
  ASSERT_EQ(status(1), "Stopped");
  const auto imageBefore = fs::file_size(output(1));
  bool mapBesideTheNewImage = true;
  std::uintmax_t imageThen = 0;
  pump.at(pump.calls + 1, [&] {
    mapBesideTheNewImage = fs::exists(output(1) + ".map");
    imageThen = fs::file_size(output(1));
  });
  pressStopAt(pump.calls + 1);
  msg.answerOnce("File exists", MsgAnswer::Yes);
  controller.RunClicked();
  ASSERT_NE(imageThen, imageBefore) << "looked before the image was made anew";
  EXPECT_FALSE(mapBesideTheNewImage);
}

// Overwritten, an image keeps no record of the one before: checksum files
// of digests not asked for now, a map and a .extra this job writes none of
// go with it, so no file beside the new image says anything of the old.
TEST_F(RunFixture, OverwritingLeavesNothingOfTheOldImagesRecords) {
  const Bytes data = patternBytes(1 << 20, 15);
  addFileJob(src("disk.img", data));
  for (const char* beside : {".md5", ".sha1", ".extra", ".map"}) writeBytes(output(1) + beside, patternBytes(64, 16));
  msg.answerOnce("File exists", MsgAnswer::Yes);
  controller.RunClicked();
  ASSERT_EQ(status(1), "Done.");
  for (const char* beside : {".md5", ".sha1", ".extra", ".map"}) EXPECT_FALSE(fs::exists(output(1) + beside)) << beside;
  EXPECT_TRUE(readFile(output(1)) == data);
}

}  // namespace
}  // namespace mdi::test
