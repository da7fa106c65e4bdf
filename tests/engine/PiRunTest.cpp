// The protection-information check through whole runs: the status and the
// record give the true counts, and a drive's reported type decides whether
// reference tags count: type 1 ties them to the LBA, type 2 tags follow the
// commands that wrote them.
#include "tests/engine/RunFixture.h"
#include "tests/layouts/PiSectors.h"

namespace mdi::test {
namespace {
using test::PrintTo;

struct PiCase {
  const char* name;
  std::string kinds;  // one letter per sector, see PiSectors.h
  int driveType;      // the PI type a drive reports; 0: the source is an image file
  const char* status;
  const char* bad;    // pi_bad in the record; "" when no PI is reported
  std::vector<std::string> badLbas;
  bool firstBlockUnrecognised;
  const char* refTag;  // pi_ref_tag in the record
};

class PiRun : public RunFixture, public ::testing::WithParamInterface<PiCase> {};

TEST_P(PiRun, StatusAndRecordGiveTheTrueCounts) {
  const PiCase& c = GetParam();
  setMutate(true);
  const std::string source = src("pi.img", sectors(c.kinds, 0));
  if (c.driveType) {
    drives.add(3, {DriveIdentity{"/dev/sdx", c.kinds.size() * 520, "0x5000c500a1b2c3d4"}, source, 0, ""});
    drives.describe(3, {"ARRAY DISK", "Z1", 520, c.driveType});
    addDriveJob("3", static_cast<std::int64_t>(c.kinds.size() * 520), (dir / "out" / "drive.bin").string(), "520");
  } else {
    addFileJob(source, -1, "520", "512");
  }
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const std::string log = record(1);
  EXPECT_EQ(field(log, "pi_bad"), c.bad);
  EXPECT_EQ(fields(log, "pi_ref_tag_bad_lba"), c.badLbas);
  EXPECT_EQ(!field(log, "first_block").empty(), c.firstBlockUnrecognised);
  EXPECT_EQ(field(log, "pi_ref_tag"), c.refTag);
  // The tuples are kept whatever the check found.
  EXPECT_EQ(fs::file_size(extraOf(1)), c.kinds.size() * 8);
}

std::string kinds(std::initializer_list<std::pair<std::size_t, char>> runs) {
  std::string k;
  for (auto [n, c] : runs) k.append(n, c);
  return k;
}
// Two sectors whose reference tags are of another LBA.
const std::string kTwoBadTags = kinds({{20, 'G'}, {1, 'R'}, {99, 'G'}, {1, 'R'}, {79, 'G'}});

const PiCase kPiCases[] = {
    {"AllGood", kinds({{300, 'G'}}), 0, "Done. PI: 0 bad", "0", {}, false, "checked"},
    {"BadGuardsAndTagsAcrossBlocks",
     kinds({{100, 'G'}, {1, 'B'}, {50, 'G'}, {1, 'R'}, {100, 'G'}, {1, 'X'}, {10, 'E'}, {5, 'F'}, {40, 'G'}}), 0,
     "Done. PI: 3 bad", "3", {"151", "252"}, false, "checked"},
    {"FormattedDriveOnlyEscapes", kinds({{20, 'F'}, {100, 'G'}}), 0, "Done. PI: 0 bad", "0", {}, false, "checked"},
    {"NoPiSaysNothing", kinds({{300, 'N'}}), 0, "Done.", "", {}, true, ""},
    {"NoPiButABootSector", kinds({{1, 'M'}, {299, 'N'}}), 0, "Done.", "", {}, false, ""},
    {"DriveOfType1CountsReferenceTags", kTwoBadTags, 1, "Done. PI: 2 bad", "2", {"20", "120"}, false, "checked"},
    {"DriveOfType2DoesNot", kTwoBadTags, 2, "Done. PI: 0 bad", "0", {}, false, "not checked"},
};
INSTANTIATE_TEST_SUITE_P(Counts, PiRun, ::testing::ValuesIn(kPiCases), ByName{});

}  // namespace
}  // namespace mdi::test
