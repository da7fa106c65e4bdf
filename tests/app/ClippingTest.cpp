// Long paths and wide texts in the main window (offscreen): elided in the
// middle with their full text as tip; the columns fit their frames.
#include <gtest/gtest.h>

#include <QCheckBox>

#include "jobs/JobList.h"
#include "tests/app/ClippingChecks.h"

namespace mdi {
namespace {

class Clipping : public ::testing::Test, public LongTextsWindow {
 protected:
  void SetUp() override { open("mdi-clip-"); }
  void TearDown() override { close(); }
};

TEST_F(Clipping, TargetPathIsElidedInTheMiddleWithItsTip) {
  auto* l2 = w->findChild<ElidingLabel*>("Label2");
  ASSERT_NE(l2, nullptr);
  EXPECT_EQ(l2->text().toStdString(), target.string());
  expectElidedInTheMiddle(l2->shownText(), l2->text(), "Label2");
  EXPECT_EQ(tipOf(l2, QPoint(5, 5)), target.string());
}

TEST_F(Clipping, DriveGridFitsItsFrame) {
  GridView* g = grid("iGrid1");
  ASSERT_EQ(w->form().iGrid1.value(1, 3), "1,024.0 Gb");
  expectWhole(g, 1, 3, "Size");
  expectWhole(g, 1, 6, "BPS");
  expectColumnsFit(g, "drive grid");
  // The image file's long name keeps its end; the tip where the pointer
  // rests on it is the whole path.
  ASSERT_EQ(w->form().iGrid1.value(2, 2), image.string());
  expectCellElidedInTheMiddle(g, 2, 2, QString::fromStdString(image.string()), "file row");
  EXPECT_EQ(tipOf(g->viewport(), g->visualRect(g->model()->index(1, 1)).center()), image.string());
}

TEST_F(Clipping, JobGridFitsItsFrameWithAndWithoutSectorColumns) {
  for (int r = w->form().iGrid1.rowCount(); r >= 1; --r) {
    w->form().iGrid1.setCurrentRow(r);
    w->jobEditor().AddDriveToJobList();
  }
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  GridView* g = grid("iGrid2");
  expectColumnsFit(g, "job grid");
  h.msg.answer("Sector Size Error", MsgAnswer::Ok);
  w->findChild<QCheckBox*>("Check2")->click();
  expectColumnsFit(g, "job grid with sector columns");
  for (int c : {JobCol::ID, JobCol::Size, JobCol::SectorIn, JobCol::SectorOut, JobCol::BPS})
    for (int r = 1; r <= 2; ++r) expectWhole(g, r, c, "job column");
}

}  // namespace
}  // namespace mdi
