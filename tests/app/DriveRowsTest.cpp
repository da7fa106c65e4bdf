// Drive rows as the operator meets them: the red system-drive marking kept
// on the selected row, and a tip that tells drives apart, in the drive grid
// and again in the job list. What a row and its tip say is discovery's part
// (ListDrives, DriveTipNotes, ModelFallback); here, that the window draws
// and shows them.
#include <gtest/gtest.h>

#include <QImage>

#include "discovery/ListDrives.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// One 520-byte-sector disk of protection type 2, holding the system.
class DriveRows : public ::testing::Test {
 protected:
  void SetUp() override {
    h.drives.add(0, {{"/dev/sdc", 520ULL * 1000, "wwn-0x5000c5"}, "/dev/null", 0xfe00, ""});
    h.drives.describe(0, {"ST3300657SS", "6SJ1", 520, 2});
    std::filesystem::create_directories(root.path / "out");
    h.pickers.folders = {root / "out"};
    w = h.start(root.path.string(), [this](FormState& f, const Separators& sep) {
      AddListedDriveRow(f.iGrid1, *h.drives.listedRecord(0), "/dev/sdc,", sep);
    });
  }
  void TearDown() override { QToolTip::hideText(); }
  GridView* grid(const char* name) { return w->findChild<GridView*>(name); }
  // The colour drawn in the middle of a cell.
  static QColor drawn(GridView* g, int row, int col) {
    return g->grab().toImage().pixelColor(g->viewport()->mapTo(g, cellCentre(g, row, col)));
  }
  ScratchDir root{"mdi-rows-"};
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_F(DriveRows, SystemDiskStaysRedWhenSelected) {
  GridView* g = grid("iGrid1");
  const QColor before = drawn(g, 1, 2);
  EXPECT_EQ(before, QColor(192, 0, 0)) << before.name().toStdString();
  w->form().iGrid1.setCurrentRow(1);
  ASSERT_TRUE(g->item(0, 1)->isSelected());
  const QColor selected = drawn(g, 1, 2);
  EXPECT_TRUE(selected.red() > 100 && selected.green() < 40 && selected.blue() < 40) << selected.name().toStdString();
  EXPECT_NE(selected, before);  // the selection still shows
}

// The tip of a drive row is the drive table's record of it, sizes as the
// locale writes them; the same drive in the job list has the same tip, then
// the column's. Away from any cell, the job grid shows the column's tip
// alone, the one the job editor sets for the column entered.
TEST_F(DriveRows, TipNamesWhatTellsTheDriveApart) {
  const std::string tip =
      "ST3300657SS\nNode: /dev/sdc\nSerial: 6SJ1\nSize: 520,000 bytes\nLogical sector size: 520 bytes\nprotection type "
      "2";
  EXPECT_EQ(cellTip(grid("iGrid1"), 1, 2), tip);
  w->findChild<QPushButton*>("Command1")->click();
  w->form().iGrid1.setCurrentRow(1);
  w->jobEditor().AddDriveToJobList();
  ASSERT_EQ(w->form().iGrid2.rowCount(), 1);
  w->jobEditor().JobGridCellEnter(1, JobCol::Model);
  EXPECT_EQ(cellTip(grid("iGrid2"), 1, JobCol::Model), tip + "\nModel no or file name");
  EXPECT_EQ(tipOf(grid("iGrid2")), "Model no or file name");
}

}  // namespace
}  // namespace mdi
