// The drive grid: its columns, one drive's row with its size text and its
// tip, and the listing of all drives with the ones holding the system marked.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "discovery/DriveTip.h"
#include "discovery/FormatSize.h"
#include "discovery/ListDrives.h"
#include "tests/CaseName.h"

namespace mdi {
namespace {

const Separators kSep{",", "."};

class FakeEnumerator final : public DriveEnumerator {
 public:
  std::vector<DriveRecord> records;
  std::map<std::string, std::vector<int>> under;
  std::map<std::string, std::string> failures;  // by path
  std::vector<DriveRecord> drives() override { return records; }
  DrivesUnder drivesUnder(const std::string& path) override {
    DrivesUnder out;
    if (auto it = under.find(path); it != under.end()) out.numbers = it->second;
    if (auto it = failures.find(path); it != failures.end()) out.failure = it->second;
    return out;
  }
};

DriveRecord disk(int n, std::string model, std::uint64_t size = 500107862016ULL, bool medium = true) {
  DriveRecord d;
  d.number = n;
  d.deviceId = "/dev/sd" + std::string(1, static_cast<char>('a' + n));
  d.model = std::move(model);
  d.size = size;
  d.bytesPerSector = 512;
  d.pnpDeviceId = "wwn-" + std::to_string(n);
  d.mediaPresent = medium && size > 0;
  return d;
}

// The columns as headers, widths and visibility; one drive's row in full.
TEST(DriveGrid, ColumnsAndADrivesRow) {
  GridModel g;
  setUpDriveGrid(g);
  ASSERT_EQ(g.columnCount(), 8);
  const char* headers[] = {"ID", "Model", "Size", "PNP", "Size I", "BPS", "Bus", "_ID"};
  const int widths[] = {45, 155, 55, 0, 60, 75, 50, 50};
  const char* values[] = {"3", "ATA ST3500 ", "465.8 Gb", "wwn-3", "500107862016", "512", "", ""};
  ASSERT_TRUE(AddDriveRow(g, disk(3, "ATA ST3500 SCSI Disk Device"), kSep));
  ASSERT_EQ(g.rowCount(), 1);
  for (int c = 1; c <= 8; ++c)
    EXPECT_EQ(std::tuple(g.header(c), g.columnWidth(c), g.isColumnVisible(c), g.value(1, c), g.backColor(1, c)),
              std::tuple(headers[c - 1], widths[c - 1], c != 4 && c != 5, values[c - 1], kDefaultBack))
        << "column " << c;
  // A disk read only through pass-through, which this user may not: its
  // size is not known, and it is listed all the same.
  DriveRecord denied = disk(5, "SEAGATE ST3300657SS", 0);
  denied.passThrough = denied.passThroughDenied = true;
  EXPECT_TRUE(AddDriveRow(g, denied, kSep));
  EXPECT_EQ(g.value(2, 3), "?");
}

TEST(CleanModel, LowersRemovesAndUppers) {
  EXPECT_EQ(cleanModel("scsi disk deviceX scsi disk device"), "X ");
  EXPECT_EQ(cleanModel("  Samsung SSD 870  "), "  SAMSUNG SSD 870  ");
  EXPECT_EQ(cleanModel("Loop /tmp/d\xc3\xa9mo.img"), "LOOP /TMP/D\xc3\xa9MO.IMG");
}

// Units step up only past 1,024 of the unit below; the locale's separators
// group the digits and mark the decimal.
TEST(FormatSize, UnitsBoundariesAndSeparators) {
  using Shown = std::pair<const char*, const char*>;  // bytes, text
  for (const auto& [bytes, shown] : std::vector<Shown>{{"abc", "0.0 bytes"},
                                                       {"1024", "1,024.0 bytes"},
                                                       {"1025", "1.0 Kb"},
                                                       {"1048577", "1.0 Mb"},
                                                       {"500107862016", "465.8 Gb"},
                                                       {"219902325555200", "200.0 Tb"}})  // 200 TiB
    EXPECT_EQ(FormatSize(bytes, kSep), shown) << '"' << bytes << '"';
  for (const auto& [bytes, shown] : std::vector<Shown>{{"1024", "1.024,0 bytes"}, {"2000398934016", "1,8 Tb"}})
    EXPECT_EQ(FormatSize(bytes, Separators{".", ","}), shown) << bytes << " with point and comma";
}

// The tip of a drive row: the description, then the protection type the
// disk reports (1 to 3, none below), then what discovery could not read or
// decide about the drive, one note a line. (The description alone and a
// protection type are shown by the window's drive rows.)
TEST(DriveTip, NotesFollowTheProtectionType) {
  DriveRecord d = disk(1, "Half Readable", 1024000);
  d.notes = {"size could not be read: Is a directory", "dev is not a device number: \"garbage\""};
  const std::string description =
      "Half Readable\nNode: /dev/sdb\nSerial: none\nSize: 1,024,000 bytes\nLogical sector size: 512 bytes";
  const std::string notes = "\nsize could not be read: Is a directory\ndev is not a device number: \"garbage\"";
  d.protectionType = -1;
  EXPECT_EQ(driveTip(d, kSep), description + notes);
  d.protectionType = 3;
  EXPECT_EQ(driveTip(d, kSep), description + "\nprotection type 3" + notes);
}

// The system folders are "/" and "/opt/imager" unless a case names others.
struct ListCase {
  const char* name;
  std::vector<DriveRecord> records;
  std::map<std::string, std::vector<int>> under;  // what the enumerator finds under a folder
  std::vector<int> rows;                          // drive numbers, in grid order
  std::vector<int> marked;                        // the rows marked as system drives
  const char* systemDisks;
  const char* failure = nullptr;  // the drives under /opt/imager could not all be found
  std::vector<std::string> systemFolders = {"/", "/opt/imager"};
};
class ListDrivesCase : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListDrivesCase, ListsInNumberOrderAndMarksTheSystemDrives) {
  const ListCase& c = GetParam();
  FakeEnumerator fake;
  fake.records = c.records;
  fake.under = c.under;
  if (c.failure) fake.failures["/opt/imager"] = c.failure;
  FormState form;
  setUpDriveGrid(form.iGrid1);
  ShowDrives(form, GatherDrives(fake, c.systemFolders), kSep);
  const std::vector<DriveRecord> listed =
      ShowDrives(form, GatherDrives(fake, c.systemFolders), kSep);  // old rows go first
  const GridModel& g = form.iGrid1;
  ASSERT_EQ(g.rowCount(), static_cast<int>(c.rows.size()));
  for (int r = 1; r <= g.rowCount(); ++r) {
    const int n = c.rows[static_cast<std::size_t>(r - 1)];
    const bool marked = std::count(c.marked.begin(), c.marked.end(), n) > 0;
    EXPECT_EQ(g.value(r, 1), std::to_string(n)) << "row " << r;
    for (int col = 1; col <= 8; ++col) {
      EXPECT_EQ(g.backColor(r, col), marked ? rgb(192, 0, 0) : kDefaultBack) << "row " << r << " column " << col;
      EXPECT_EQ(g.foreColor(r, col), marked ? 0xFFFFFFu : kDefaultFore) << "row " << r << " column " << col;
    }
  }
  EXPECT_EQ(form.SystemDisks, c.systemDisks);
  // A drive counted only for the doubt says why; every other has no note.
  ASSERT_EQ(listed.size(), c.records.size());
  const std::string why = "Counted as a system drive: the drives under /opt/imager could not all be found (";
  const std::vector<int> imager = c.under.count("/opt/imager") ? c.under.at("/opt/imager") : std::vector<int>{};
  for (const DriveRecord& d : listed) {
    const bool doubted = c.failure && std::count(imager.begin(), imager.end(), d.number) == 0;
    EXPECT_EQ(d.notes, doubted ? std::vector{why + c.failure + ")"} : std::vector<std::string>{}) << d.deviceId;
  }
}

INSTANTIATE_TEST_SUITE_P(Listings, ListDrivesCase,
                         ::testing::Values(
                             // The same disk under both system folders is named once per folder.
                             ListCase{"SystemDiskMarked",
                                      {disk(2, "WDC C"), disk(0, "WDC A"), disk(1, "WDC B", 2000398934016ULL)},
                                      {{"/", {0}}, {"/opt/imager", {0}}},
                                      {0, 1, 2},
                                      {0},
                                      "/dev/sda,/dev/sda,"},
                             // A mirrored pair under the one folder start-up named.
                             ListCase{"OnlyTheFoldersStartUpNamed",
                                      {disk(0, "A"), disk(1, "B"), disk(2, "C")},
                                      {{"/", {0}}, {"/srv/imager", {1, 2}}},
                                      {0, 1, 2},
                                      {1, 2},
                                      "/dev/sdb,/dev/sdc,",
                                      nullptr,
                                      {"/srv/imager"}},
                             // Running from RAM or an overlay: every drive listed, none marked.
                             ListCase{"NoSystemDisk", {disk(1, "B"), disk(0, "A")}, {}, {0, 1}, {}, ""},
                             // The filtered system disk marks nothing in its place.
                             ListCase{"NoMediumSizeZeroAndConfigSkippedEvenWhenSystem",
                                      {disk(3, "Good"), disk(0, "Array ConFiG"),
                                       disk(1, "Card Reader", 500107862016ULL, false), disk(2, "Empty", 0)},
                                      {{"/", {0}}},
                                      {3},
                                      {},
                                      "/dev/sda,"},
                             // Each drive not known to be elsewhere counts as a system drive.
                             ListCase{"AnUnsureAnswerCountsEveryDrive",
                                      {disk(0, "A"), disk(1, "B"), disk(2, "C")},
                                      {{"/", {0}}, {"/opt/imager", {0}}},
                                      {0, 1, 2},
                                      {0, 1, 2},
                                      "/dev/sda,/dev/sda,/dev/sdb,/dev/sdc,",
                                      "dm-0/slaves could not be listed: Permission denied"}),
                         ByName());

}  // namespace
}  // namespace mdi
