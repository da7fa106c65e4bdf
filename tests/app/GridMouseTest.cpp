// The grids answer the mouse itself, not only the handlers behind them: a
// drive double-clicked becomes a job, and a job's sector cell right-clicked
// offers the sector sizes, the one chosen landing in that cell.
#include <gtest/gtest.h>

#include <QTest>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// The centre of a cell of `grid` (1-based, as the grid model counts), in
// its viewport's coordinates.
QPoint cellCentre(GridView* grid, int row, int col) {
  return grid->visualRect(grid->model()->index(row - 1, col - 1)).center();
}

TEST(GridMouse, DoubleClickAddsADriveAndRightClickOffersTheSectorSizes) {
  WindowHarness h;
  auto w = h.start();
  FormState& form = w->form();
  form.run.TargetFolder = "/out";
  const int r = form.iGrid1.addRow();
  for (const auto& [col, value] : {std::pair{2, "ARRAY DISK"}, {3, "1.0 Gb"}, {5, "1073741824"}, {6, "520"}})
    form.iGrid1.setValue(r, col, value);
  form.iGrid1.setValue(r, 1, std::int64_t{4});
  auto* drives = child<GridView>(*w, "iGrid1");
  auto* jobs = child<GridView>(*w, "iGrid2");
  ASSERT_TRUE(drives && jobs);
  w->show();
  QTest::mouseDClick(drives->viewport(), Qt::LeftButton, {}, cellCentre(drives, r, 2));
  ASSERT_EQ(form.iGrid2.rowCount(), 1);
  EXPECT_EQ(form.iGrid2.value(1, JobCol::Model), "ARRAY DISK");
  EXPECT_EQ(form.iGrid1.rowCount(), 0);

  child<QCheckBox>(*w, "Check2")->setChecked(true);  // shows the sector columns
  QTest::mousePress(jobs->viewport(), Qt::RightButton, {}, cellCentre(jobs, 1, JobCol::SectorOut));
  auto* sizes = child<QMenu>(*w, "mnuSectors");
  ASSERT_TRUE(sizes);
  EXPECT_TRUE(within([&] { return sizes->isVisible(); }));
  QStringList offered;
  for (QAction* a : sizes->actions()) offered << a->text();
  EXPECT_EQ(offered, (QStringList{"512", "520", "522", "524", "528"}));
  sizes->findChild<QAction*>("mnu528")->trigger();
  sizes->hide();
  EXPECT_EQ(form.iGrid2.value(1, JobCol::SectorOut), "528");
}

}  // namespace
}  // namespace mdi
