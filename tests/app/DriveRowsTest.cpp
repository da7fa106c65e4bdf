// Drive rows as the operator meets them. What a row and its tip say is
// discovery's part (ListDrives, DriveTipNotes, ModelFallback); here, that
// the window draws and shows them, and that the grids answer the mouse.
#include <gtest/gtest.h>

#include <QImage>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// The colour drawn in the middle of a cell.
QColor drawn(GridView* g, int row, int col) {
  return g->grab().toImage().pixelColor(g->viewport()->mapTo(g, cellCentre(g, row, col)));
}

// One 520-byte-sector disk of protection type 2, holding the system, in
// the drive grid: red, and still red when selected. The grids answer the
// mouse itself, not only the handlers behind them: the drive
// double-clicked becomes a job. The tip of a drive row is the drive table's
// record of it, sizes as the locale writes them; the same drive in the job
// list has the same tip, then the column's. Away from any cell, the job
// grid shows the column's tip alone, the one the job editor sets for the
// column entered. The job's File Name double-clicked is edited in place:
// Escape keeps its name, Enter or another control clicked the text typed;
// and its sector cell right-clicked offers the sector sizes, the one chosen
// landing in that cell and checked as the boxes are.
TEST(GridMouse, DoubleClickAddsADriveAndEditsAJobRightClickOffersTheSectorSizes) {
  const ScratchDir root{"mdi-rows-"};
  WindowHarness h;
  h.drives.add(0, {{"/dev/sdc", 520ULL * 1000, "wwn-0x5000c5"}, "/dev/null", 0xfe00, ""});
  h.drives.describe(0, {"ST3300657SS", "6SJ1", 520, 2});
  std::filesystem::create_directories(root.path / "out");
  h.pickers.folders = {root / "out"};
  auto w = h.start(root.path.string(), [&h](FormState& f, const Separators& sep) {
    AddListedDriveRow(f.iGrid1, *h.drives.listedRecord(0), "/dev/sdc,", sep);
  });
  const std::string tip =
      "ST3300657SS\nNode: /dev/sdc\nSerial: 6SJ1\nSize: 520,000 bytes\nLogical sector size: 520 bytes\nprotection type "
      "2";
  FormState& form = w->form();
  auto* drives = w->findChild<GridView*>("iGrid1");
  auto* jobs = w->findChild<GridView*>("iGrid2");
  const QColor before = drawn(drives, 1, 2);
  EXPECT_EQ(before, QColor(192, 0, 0)) << before.name().toStdString();
  form.iGrid1.setCurrentRow(1);
  ASSERT_TRUE(drives->item(0, 1)->isSelected());
  const QColor selected = drawn(drives, 1, 2);
  EXPECT_TRUE(selected.red() > 100 && selected.green() < 40 && selected.blue() < 40) << selected.name().toStdString();
  EXPECT_NE(selected, before);  // the selection still shows
  EXPECT_EQ(tipOf(drives->viewport(), cellCentre(drives, 1, 2)), tip);
  ASSERT_TRUE(activated(*w));
  QTest::mouseDClick(drives->viewport(), Qt::LeftButton, {}, cellCentre(drives, 1, 2));
  ASSERT_EQ(form.iGrid2.rowCount(), 1);
  w->jobEditor().JobGridCellEnter(1, JobCol::Model);
  EXPECT_EQ(tipOf(jobs->viewport(), cellCentre(jobs, 1, JobCol::Model)), tip + "\nModel no or file name");
  EXPECT_EQ(tipOf(jobs), "Model no or file name");

  auto editor = [&]() -> QLineEdit* {
    for (QLineEdit* e : jobs->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  };
  const struct {
    const char* name;
    Qt::Key key;  // Qt::Key_unknown: another control is clicked instead
    const char* fileNameAfter;
  } edits[] = {{"Escape", Qt::Key_Escape, "/out/001.bin"},
               {"Enter", Qt::Key_Return, "/out/x.bin"},
               {"ClickOnAnotherControl", Qt::Key_unknown, "/out/x.bin"}};
  for (const auto& c : edits) {
    SCOPED_TRACE(c.name);
    form.iGrid2.setValue(1, JobCol::FileName, "/out/001.bin");
    QTest::mouseDClick(jobs->viewport(), Qt::LeftButton, {}, cellCentre(jobs, 1, JobCol::FileName));
    QLineEdit* e = nullptr;
    ASSERT_TRUE(within([&] { return (e = editor()) != nullptr; }));
    e->setText("/out/x.bin");
    if (c.key != Qt::Key_unknown) QTest::keyClick(e, c.key);
    else w->findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(within([&] { return editor() == nullptr; }));
    EXPECT_EQ(form.iGrid2.value(1, JobCol::FileName), c.fileNameAfter);
    EXPECT_FALSE(form.iGrid2.beginEdit(1, JobCol::FileName)) << "editing stays on after the edit ended";
  }

  w->findChild<QCheckBox*>("Check2")->setChecked(true);  // shows the sector columns
  QTest::mousePress(jobs->viewport(), Qt::RightButton, {}, cellCentre(jobs, 1, JobCol::SectorIn));
  auto* sizes = w->findChild<QMenu*>("mnuSectors");
  ASSERT_TRUE(sizes);
  EXPECT_TRUE(within([&] { return sizes->isVisible(); }));
  QStringList offered;
  for (QAction* a : sizes->actions()) offered << a->text();
  EXPECT_EQ(offered, (QStringList{"512", "520", "522", "524", "528"}));
  sizes->findChild<QAction*>("mnu528")->trigger();
  sizes->hide();
  EXPECT_EQ(std::pair(form.iGrid2.value(1, JobCol::SectorIn), h.msg.count("Sector Size Error")),
            std::pair(std::string("528"), 1));
}

}  // namespace
}  // namespace mdi
