// The option boxes do the same whichever way they are operated: a mouse
// click, the Space key, or an accessibility action (what screen readers and
// switch-access tools use).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>

#include "jobs/JobList.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct Way {
  const char* name;
  std::function<void(QCheckBox*)> operate;
};
const Way kWays[] = {
    {"MouseClick", [](QCheckBox* b) { b->click(); }},
    {"SpaceKey", [](QCheckBox* b) { key(b, Qt::Key_Space, " "); }},
    {"AccessibleToggle",
     [](QCheckBox* b) {
       ASSERT_TRUE(accessibleAction(QAccessible::queryAccessibleInterface(b), QAccessibleActionInterface::toggleAction()));
     }},
    {"AccessiblePress",
     [](QCheckBox* b) {
       ASSERT_TRUE(accessibleAction(QAccessible::queryAccessibleInterface(b), QAccessibleActionInterface::pressAction()));
     }},
};

class OperatedAnyWay : public ::testing::TestWithParam<Way> {
 protected:
  QCheckBox* box(const char* name) { return w->findChild<QCheckBox*>(name); }
  QLineEdit* text(const char* name) { return w->findChild<QLineEdit*>(name); }
  WindowHarness h;
  std::unique_ptr<frmMain> w = h.start();
};

TEST_P(OperatedAnyWay, UseSectorMutateSetsTheSectorBoxes) {
  GetParam().operate(box("Check2"));
  ASSERT_TRUE(box("Check2")->isChecked());
  EXPECT_TRUE(text("Text1")->isEnabled());
  EXPECT_EQ(text("Text1")->text().toStdString(), "520");
  EXPECT_EQ(text("Text2")->text().toStdString(), "512");
  EXPECT_TRUE(w->form().iGrid2.isColumnVisible(JobCol::SectorIn));
  GetParam().operate(box("Check2"));
  ASSERT_FALSE(box("Check2")->isChecked());
  EXPECT_FALSE(text("Text1")->isEnabled());
  EXPECT_EQ(text("Text1")->text().toStdString(), "512");
}

TEST_P(OperatedAnyWay, ShowProgressShowsTheBar) {
  QProgressBar* bar = w->findChild<QProgressBar*>("ProgBarXP1");
  GetParam().operate(box("Check3"));
  ASSERT_TRUE(box("Check3")->isChecked());
  EXPECT_FALSE(bar->isHidden());
  GetParam().operate(box("Check3"));
  EXPECT_TRUE(bar->isHidden());
}

INSTANTIATE_TEST_SUITE_P(Window, OperatedAnyWay, ::testing::ValuesIn(kWays), ByName());

}  // namespace
}  // namespace mdi
