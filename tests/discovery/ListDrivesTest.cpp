#include <gtest/gtest.h>

#include <map>

#include "discovery/ListDrives.h"

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

DriveRecord disk(int n, std::string model, std::uint64_t size = 500107862016ULL) {
  DriveRecord d;
  d.number = n;
  d.deviceId = "/dev/sd" + std::string(1, static_cast<char>('a' + n));
  d.model = std::move(model);
  d.size = size;
  d.bytesPerSector = 512;
  d.pnpDeviceId = "wwn-" + std::to_string(n);
  d.mediaPresent = size > 0;
  d.devNumber = 8 * 256 + static_cast<std::uint64_t>(n) * 16;
  return d;
}

class ListDrivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setUpDriveGrid(form.iGrid1);
    form.SystemLetters = {"/", "/opt/imager"};
  }
  void list() { ListDrives(form, fake, kSep); }
  bool marked(int row) const {
    return form.iGrid1.backColor(row, 1) == kSystemDriveBack;
  }
  FormState form;
  FakeEnumerator fake;
};

TEST(DriveGrid, HasEightColumnsWithHeadersWidthsAndHiddenColumns) {
  GridModel g;
  setUpDriveGrid(g);
  ASSERT_EQ(g.columnCount(), 8);
  const char* headers[] = {"ID", "Model", "Size", "PNP", "Size I", "BPS", "Bus", "_ID"};
  const int widths[] = {45, 155, 55, 0, 60, 75, 50, 50};
  for (int c = 1; c <= 8; ++c) {
    EXPECT_EQ(g.header(c), headers[c - 1]);
    EXPECT_EQ(g.columnWidth(c), widths[c - 1]);
    EXPECT_EQ(g.isColumnVisible(c), c != 4 && c != 5) << c;
  }
}

TEST(AddDriveRow, FillsEveryColumn) {
  GridModel g;
  setUpDriveGrid(g);
  ASSERT_TRUE(AddDriveRow(g, disk(3, "ATA ST3500 SCSI Disk Device"), kSep));
  ASSERT_EQ(g.rowCount(), 1);
  EXPECT_EQ(g.value(1, 1), "3");
  EXPECT_EQ(g.value(1, 2), "ATA ST3500 ");
  EXPECT_EQ(g.value(1, 3), "465.8 Gb");
  EXPECT_EQ(g.value(1, 4), "wwn-3");
  EXPECT_EQ(g.value(1, 5), "500107862016");
  EXPECT_EQ(g.value(1, 6), "512");
  EXPECT_EQ(g.value(1, 7), "");
  EXPECT_EQ(g.value(1, 8), "");
  EXPECT_EQ(g.backColor(1, 1), kDefaultBack);
}

TEST(AddDriveRow, FiltersSizeZeroAndConfigInAnyCase) {
  GridModel g;
  setUpDriveGrid(g);
  EXPECT_FALSE(AddDriveRow(g, disk(0, "Samsung SSD", 0), kSep));
  EXPECT_FALSE(AddDriveRow(g, disk(1, "DELL CONFIG DISK"), kSep));
  EXPECT_FALSE(AddDriveRow(g, disk(2, "raid config"), kSep));
  EXPECT_FALSE(AddDriveRow(g, disk(3, "Array ConFiG lun"), kSep));
  EXPECT_EQ(g.rowCount(), 0);
  EXPECT_TRUE(AddDriveRow(g, disk(4, "CONFI G"), kSep));
  EXPECT_EQ(g.rowCount(), 1);
}

TEST(CleanModel, LowersRemovesAndUppers) {
  EXPECT_EQ(cleanModel("ATA ST3500 SCSI Disk Device"), "ATA ST3500 ");
  EXPECT_EQ(cleanModel("scsi disk deviceX scsi disk device"), "X ");
  EXPECT_EQ(cleanModel(""), "");
  EXPECT_EQ(cleanModel("  Samsung SSD 870  "), "  SAMSUNG SSD 870  ");
  EXPECT_EQ(cleanModel("Loop /tmp/d\xc3\xa9mo.img"), "LOOP /TMP/D\xc3\xa9MO.IMG");
  EXPECT_EQ(cleanModel("SCSI DISK DEVICE"), "");
}

TEST_F(ListDrivesTest, ListsInNumberOrderAndMarksTheSystemDisk) {
  fake.records = {disk(2, "WDC C"), disk(0, "WDC A"), disk(1, "WDC B", 2000398934016ULL)};
  fake.under["/"] = {0};
  fake.under["/opt/imager"] = {0};
  list();
  ASSERT_EQ(form.iGrid1.rowCount(), 3);
  EXPECT_EQ(form.iGrid1.value(1, 1), "0");
  EXPECT_EQ(form.iGrid1.value(2, 1), "1");
  EXPECT_EQ(form.iGrid1.value(3, 1), "2");
  EXPECT_EQ(form.iGrid1.value(2, 3), "1.8 Tb");
  EXPECT_TRUE(marked(1));
  EXPECT_FALSE(marked(2));
  EXPECT_FALSE(marked(3));
  for (int c = 1; c <= 8; ++c) {
    EXPECT_EQ(form.iGrid1.backColor(1, c), rgb(192, 0, 0));
    EXPECT_EQ(form.iGrid1.foreColor(1, c), 0xFFFFFFu);
    EXPECT_EQ(form.iGrid1.foreColor(2, c), kDefaultFore);
  }
  // Same disk for both system paths: listed once per path.
  EXPECT_EQ(form.SystemDisks, "/dev/sda,/dev/sda,");
}

TEST_F(ListDrivesTest, SystemOnTwoDisksMarksBoth) {
  fake.records = {disk(0, "A"), disk(1, "B"), disk(2, "C")};
  fake.under["/"] = {0};
  fake.under["/opt/imager"] = {1};
  list();
  ASSERT_EQ(form.iGrid1.rowCount(), 3);
  EXPECT_TRUE(marked(1));
  EXPECT_TRUE(marked(2));
  EXPECT_FALSE(marked(3));
  EXPECT_EQ(form.SystemDisks, "/dev/sda,/dev/sdb,");
}

TEST_F(ListDrivesTest, SystemOnMirroredPairMarksBothMembers) {
  fake.records = {disk(0, "A"), disk(1, "B")};
  fake.under["/"] = {0, 1};
  list();
  EXPECT_TRUE(marked(1));
  EXPECT_TRUE(marked(2));
}

TEST_F(ListDrivesTest, MarksTheDrivesUnderTheFoldersStartUpNamed) {
  fake.records = {disk(0, "A"), disk(1, "B")};
  fake.under["/"] = {0};
  fake.under["/srv/imager"] = {1};
  form.SystemLetters = {"/srv/imager"};
  list();
  EXPECT_FALSE(marked(1));
  EXPECT_TRUE(marked(2));
  EXPECT_EQ(form.SystemDisks, "/dev/sdb,");
}

// The drives under one system folder cannot all be found: each drive not
// known to be elsewhere counts as a system drive, and its record says why.
TEST_F(ListDrivesTest, AnUnsureAnswerCountsEveryDriveAndSaysWhy) {
  fake.records = {disk(0, "A"), disk(1, "B"), disk(2, "C")};
  fake.under["/"] = {0};
  fake.under["/opt/imager"] = {0};
  fake.failures["/opt/imager"] = "dm-0/slaves could not be listed: Permission denied";
  const std::vector<DriveRecord> listed = ListDrives(form, fake, kSep);
  ASSERT_EQ(form.iGrid1.rowCount(), 3);
  for (int row = 1; row <= 3; ++row) EXPECT_TRUE(marked(row)) << "row " << row;
  EXPECT_EQ(form.SystemDisks, "/dev/sda,/dev/sda,/dev/sdb,/dev/sdc,");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_TRUE(listed[0].notes.empty()) << "drive 0 is known to hold the system";
  for (std::size_t i : {1u, 2u})
    EXPECT_EQ(listed[i].notes, std::vector<std::string>{
                                   "Counted as a system drive: the drives under /opt/imager could not all be found "
                                   "(dm-0/slaves could not be listed: Permission denied)"});
}

TEST_F(ListDrivesTest, NoSystemDiskStillListsEveryDriveUnmarked) {
  fake.records = {disk(1, "B"), disk(0, "A")};
  list();
  ASSERT_EQ(form.iGrid1.rowCount(), 2);
  EXPECT_FALSE(marked(1));
  EXPECT_FALSE(marked(2));
  EXPECT_EQ(form.SystemDisks, "");
}

TEST_F(ListDrivesTest, SkipsNoMediumSizeZeroAndConfigEvenWhenSystem) {
  DriveRecord card = disk(1, "Card Reader");
  card.mediaPresent = false;
  fake.records = {disk(0, "Array Config"), card,
                  disk(2, "Empty", 0), disk(3, "Good")};
  fake.under["/"] = {0};
  list();
  ASSERT_EQ(form.iGrid1.rowCount(), 1);
  EXPECT_EQ(form.iGrid1.value(1, 1), "3");
  // The filtered system disk marks nothing in its place.
  EXPECT_FALSE(marked(1));
  EXPECT_EQ(form.SystemDisks, "/dev/sda,");
}

TEST_F(ListDrivesTest, RemovesOldRowsFirst) {
  fake.records = {disk(0, "A")};
  list();
  list();
  EXPECT_EQ(form.iGrid1.rowCount(), 1);
}

TEST_F(ListDrivesTest, SortsNumbersBeyondNine) {
  fake.records = {disk(10, "K"), disk(2, "C"), disk(1, "B")};
  list();
  ASSERT_EQ(form.iGrid1.rowCount(), 3);
  EXPECT_EQ(form.iGrid1.value(1, 1), "1");
  EXPECT_EQ(form.iGrid1.value(2, 1), "2");
  EXPECT_EQ(form.iGrid1.value(3, 1), "10");
}

}  // namespace
}  // namespace mdi
