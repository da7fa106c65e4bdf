// The protection-information check through whole runs: the status and the
// record give the true counts, and the drive's reported type decides
// whether reference tags count.
#include "tests/RecordFields.h"
#include "tests/engine/LayoutRunFixture.h"
#include "tests/layouts/PiSectors.h"

namespace mdi::test {
namespace {

struct PiCase {
  const char* name;
  std::string kinds;  // one letter per sector, see PiSectors.h
  const char* status;
  const char* bad;        // pi_bad in the record; "" when no PI is reported
  std::vector<std::string> badLbas;
  bool firstBlockUnrecognised;
};
void PrintTo(const PiCase& c, std::ostream* os) { *os << c.name; }

class PiRun : public LayoutRun, public ::testing::WithParamInterface<PiCase> {};

TEST_P(PiRun, StatusAndRecordGiveTheTrueCounts) {
  const PiCase& c = GetParam();
  const Bytes source = sectors(c.kinds, 0);
  addFileJob(src("pi.img", source), -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const std::string record = fileText(output(1) + ".log");
  EXPECT_EQ(field(record, "pi_bad"), c.bad);
  EXPECT_EQ(fields(record, "pi_ref_tag_bad_lba"), c.badLbas);
  EXPECT_EQ(!field(record, "first_block").empty(), c.firstBlockUnrecognised);
  // The tuples are kept whatever the check found.
  EXPECT_EQ(fs::file_size(extraOf(1)), c.kinds.size() * 8);
}

// What the drive reports decides whether reference tags count: type 1
// ties them to the LBA, type 2 tags follow the commands that wrote them.
class PiDriveRun : public LayoutRun, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(PiDriveRun, ReferenceTagsCountOnlyForTypeOne) {
  const auto [type, want] = GetParam();
  std::string k(200, 'G');
  k[20] = k[120] = 'R';
  const std::string disk = src("disk.img", sectors(k, 0));
  drives.add(3, {DriveIdentity{"/dev/sdx", k.size() * 520, "0x5000c500a1b2c3d4"}, disk, 0, ""});
  drives.describe(3, {"ARRAY DISK", "Z1", 520, type});
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, "3");
  form.iGrid2.setValue(row, JobCol::SizeI, std::to_string(k.size() * 520));
  form.iGrid2.setValue(row, JobCol::FileName, (dir / "out" / "drive.bin").string());
  form.iGrid2.setValue(row, JobCol::SectorIn, "520");
  form.iGrid2.setValue(row, JobCol::SectorOut, "512");
  controller.RunClicked();
  EXPECT_EQ(status(1), want);
  EXPECT_EQ(field(fileText(output(1) + ".log"), "pi_ref_tag"), type == 1 ? "checked" : "not checked");
}
INSTANTIATE_TEST_SUITE_P(Types, PiDriveRun,
                         ::testing::Values(std::pair{1, "Done. PI: 2 bad"}, std::pair{2, "Done. PI: 0 bad"}),
                         [](const auto& info) { return "Type" + std::to_string(info.param.first); });

std::string kinds(std::initializer_list<std::pair<std::size_t, char>> runs) {
  std::string k;
  for (auto [n, c] : runs) k.append(n, c);
  return k;
}

const PiCase kPiCases[] = {
    {"AllGood", kinds({{300, 'G'}}), "Done. PI: 0 bad", "0", {}, false},
    {"BadGuardsAndTagsAcrossBlocks",
     kinds({{100, 'G'}, {1, 'B'}, {50, 'G'}, {1, 'R'}, {100, 'G'}, {1, 'X'}, {10, 'E'}, {5, 'F'}, {40, 'G'}}),
     "Done. PI: 3 bad", "3", {"151", "252"}, false},
    {"FormattedDriveOnlyEscapes", kinds({{20, 'F'}, {100, 'G'}}), "Done. PI: 0 bad", "0", {}, false},
    {"NoPiSaysNothing", kinds({{300, 'N'}}), "Done.", "", {}, true},
    {"NoPiButABootSector", kinds({{1, 'M'}, {299, 'N'}}), "Done.", "", {}, false},
};
INSTANTIATE_TEST_SUITE_P(Counts, PiRun, ::testing::ValuesIn(kPiCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi::test
