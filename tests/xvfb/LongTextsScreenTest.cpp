// Long paths on a real X server, with its fonts: the target folder and an
// image file's name elided in the middle, the columns inside their frames.
// Checked through the texts as drawn, not through pixels; a screenshot is
// kept when MDI_SHOT_DIR is set.
#include <gtest/gtest.h>

#include <QCheckBox>

#include "jobs/JobList.h"
#include "tests/app/ClippingChecks.h"
#include "tests/xvfb/Shots.h"
#include "tests/xvfb/XServer.h"

namespace mdi {
namespace {

class LongTextsScreen : public ::testing::Test, public LongTextsWindow {
 protected:
  void SetUp() override {
    if (!xSkipReason().empty()) GTEST_SKIP() << xSkipReason();
    open("mdi-xclip-");
  }
  void TearDown() override { close(); }
};

TEST_F(LongTextsScreen, PathsAreElidedInTheMiddleAndColumnsFit) {
  settle(300);
  saveScreenShot("long-texts-drive-grid.png");
  auto* l2 = w->findChild<ElidingLabel*>("Label2");
  expectElidedInTheMiddle(l2->shownText(), l2->text(), "Label2");
  EXPECT_EQ(tipOf(l2, QPoint(5, 5)), target.string());
  GridView* drives = grid("iGrid1");
  expectWhole(drives, 1, 3, "Size");
  expectColumnsFit(drives, "drive grid");
  expectCellElidedInTheMiddle(drives, 2, 2, QString::fromStdString(image.string()), "file row");

  for (int r = w->form().iGrid1.rowCount(); r >= 1; --r) {
    w->form().iGrid1.setCurrentRow(r);
    w->jobEditor().AddDriveToJobList();
  }
  h.msg.answer("Sector Size Error", MsgAnswer::Ok);
  w->findChild<QCheckBox*>("Check2")->click();
  QToolTip::hideText();
  settle(300);
  saveScreenShot("long-texts-job-grid.png");
  GridView* jobs = grid("iGrid2");
  expectColumnsFit(jobs, "job grid");
  for (int c : {JobCol::ID, JobCol::Size, JobCol::SectorIn, JobCol::SectorOut, JobCol::BPS})
    expectWhole(jobs, 1, c, "job column");
  expectCellElidedInTheMiddle(jobs, 1, JobCol::Model, QString::fromStdString(image.string()), "job model");
}

}  // namespace
}  // namespace mdi
