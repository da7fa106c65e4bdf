// Long paths on a real X server, with its fonts: the target folder and an
// image file's name elided in the middle with their full text as tip, the
// columns that matter inside their frames. Checked through the texts as
// drawn, not through pixels; a screenshot is kept when MDI_SHOT_DIR is set.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <fstream>

#include "app/ElidingLabel.h"
#include "discovery/ListDrives.h"
#include "tests/app/WindowHarness.h"
#include "tests/xvfb/Shots.h"
#include "tests/xvfb/XServer.h"

namespace mdi {
namespace {

// Elided in the middle: shorter, with the ellipsis, both ends kept.
void expectElidedInTheMiddle(const QString& shown, const QString& full, const char* what) {
  EXPECT_NE(shown, full) << what;
  EXPECT_TRUE(shown.contains(QChar(0x2026)) && full.startsWith(shown.left(4)) && full.endsWith(shown.right(6)))
      << what << ": " << shown.toStdString();
}

// A grid cell's text as drawn: one line, elided in the middle.
void expectCellElidedInTheMiddle(GridView* g, int row, int col, const QString& full, const char* what) {
  EXPECT_FALSE(g->wordWrap()) << what << ": a wrapped cell is cut at the end of its last line";
  EXPECT_EQ(g->textElideMode(), Qt::ElideMiddle) << what;
  expectElidedInTheMiddle(g->shownText(row, col), full, what);
}

// Every shown column lies inside the grid's viewport, with no horizontal
// scroll bar.
void expectColumnsFit(GridView* g, const char* what) {
  int total = 0;
  for (int c = 0; c < g->columnCount(); ++c)
    if (!g->isColumnHidden(c)) total += g->columnWidth(c);
  EXPECT_LE(total, g->viewport()->width()) << what;
  EXPECT_FALSE(g->horizontalScrollBar()->isVisible()) << what;
}

void expectWhole(GridView* g, int row, int col, const char* what) {
  EXPECT_EQ(g->shownText(row, col), g->item(row - 1, col - 1)->text()) << what;
}

// The window at its designed size with a long target folder, a drive of the
// widest size text and an image file with a long name in the drive grid.
TEST(LongTextsScreen, PathsAreElidedInTheMiddleAndColumnsFit) {
  if (!xSkipReason().empty()) GTEST_SKIP() << xSkipReason();
  namespace fs = std::filesystem;
  const ScratchDir dir("mdi-xclip-");
  const fs::path target = dir.path / "images of the storage array taken in the second week" / "customer 4711 shelf 3";
  const fs::path image =
      dir.path / "source images" / "array-shelf-3-disk-17-serial-WD-WCC4N0123456-520-byte-sectors.img";
  fs::create_directories(image.parent_path());
  std::ofstream(image) << "x";
  WindowHarness h;
  auto w = h.start(dir.path.string(), [](FormState& f, const Separators& sep) {
    DriveRecord d;
    d.deviceId = "/dev/sdb";
    d.model = "ATA WDC WD10EFRX-68FYTN0";
    d.size = 1099511627776ULL;  // "1,024.0 Gb", the widest size text
    d.bytesPerSector = 520;
    d.mediaPresent = true;
    AddDriveRow(f.iGrid1, d, sep);
  });
  h.pickers.folders = {target.string()};
  child<QPushButton>(*w, "Command1")->click();
  h.pickers.files.push_back({image.string()});
  child<QPushButton>(*w, "Command4")->click();
  pumpFor(300);
  saveScreenShot("long-texts-drive-grid.png");

  auto* l2 = w->findChild<ElidingLabel*>("Label2");
  EXPECT_EQ(l2->text().toStdString(), target.string());
  expectElidedInTheMiddle(l2->shownText(), l2->text(), "Label2");
  EXPECT_EQ(tipOf(l2, QPoint(5, 5)), target.string());
  QToolTip::hideText();
  auto* drives = w->findChild<GridView*>("iGrid1");
  ASSERT_EQ(w->form().iGrid1.value(1, 3), "1,024.0 Gb");
  expectWhole(drives, 1, 3, "Size");
  expectWhole(drives, 1, 6, "BPS");
  expectColumnsFit(drives, "drive grid");
  // The image file's long name keeps its end; the tip where the pointer
  // rests on it is the whole path.
  ASSERT_EQ(w->form().iGrid1.value(2, 2), image.string());
  expectCellElidedInTheMiddle(drives, 2, 2, QString::fromStdString(image.string()), "file row");
  EXPECT_EQ(cellTip(drives, 2, 2), image.string());
  QToolTip::hideText();

  for (int r = w->form().iGrid1.rowCount(); r >= 1; --r) {
    w->form().iGrid1.setCurrentRow(r);
    w->jobEditor().AddDriveToJobList();
  }
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  auto* jobs = w->findChild<GridView*>("iGrid2");
  expectColumnsFit(jobs, "job grid");
  h.msg.answer("Sector Size Error", MsgAnswer::Ok);
  child<QCheckBox>(*w, "Check2")->click();
  QToolTip::hideText();
  pumpFor(300);
  saveScreenShot("long-texts-job-grid.png");
  expectColumnsFit(jobs, "job grid with sector columns");
  for (int c : {JobCol::ID, JobCol::Size, JobCol::SectorIn, JobCol::SectorOut, JobCol::BPS})
    for (int r = 1; r <= 2; ++r) expectWhole(jobs, r, c, "job column");
  expectCellElidedInTheMiddle(jobs, 1, JobCol::Model, QString::fromStdString(image.string()), "job model");
}

}  // namespace
}  // namespace mdi
