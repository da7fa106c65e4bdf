// The option boxes do the same whichever way they are operated: a mouse
// click, the Space key, or an accessibility action (what screen readers and
// switch-access tools use).
#include <gtest/gtest.h>

#include <ostream>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <filesystem>
#include <functional>

#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct Way {
  const char* name;
  std::function<void(QCheckBox*)> operate;
};
void PrintTo(const Way& c, std::ostream* os) { *os << c.name; }


void accessibleAction(QCheckBox* box, const QString& action) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->actionInterface(), nullptr);
  a->actionInterface()->doAction(action);
  QElapsedTimer t;  // a press action clicks a moment later, as animated
  t.start();
  while (t.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

const Way kWays[] = {
    {"MouseClick", [](QCheckBox* b) { b->click(); }},
    {"SpaceKey",
     [](QCheckBox* b) {
       QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
       QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
       QApplication::sendEvent(b, &press);
       QApplication::sendEvent(b, &release);
     }},
    {"AccessibleToggle", [](QCheckBox* b) { accessibleAction(b, QAccessibleActionInterface::toggleAction()); }},
    {"AccessiblePress", [](QCheckBox* b) { accessibleAction(b, QAccessibleActionInterface::pressAction()); }},
};

class OperatedAnyWay : public ::testing::TestWithParam<Way> {
 protected:
  void SetUp() override {
    w = std::make_unique<frmMain>(h.deps(std::filesystem::temp_directory_path().string()));
    w->startUp();
  }
  QCheckBox* box(const char* name) { return w->findChild<QCheckBox*>(name); }
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_P(OperatedAnyWay, UseSectorMutateSetsTheSectorBoxes) {
  GetParam().operate(box("Check2"));
  ASSERT_TRUE(box("Check2")->isChecked());
  EXPECT_TRUE(w->findChild<QLineEdit*>("Text1")->isEnabled());
  EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), "520");
  EXPECT_EQ(w->findChild<QLineEdit*>("Text2")->text().toStdString(), "512");
  EXPECT_TRUE(w->form().iGrid2.isColumnVisible(JobCol::SectorIn));
  GetParam().operate(box("Check2"));
  ASSERT_FALSE(box("Check2")->isChecked());
  EXPECT_FALSE(w->findChild<QLineEdit*>("Text1")->isEnabled());
  EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(), "512");
}

TEST_P(OperatedAnyWay, ShowProgressShowsTheBar) {
  QProgressBar* bar = w->findChild<QProgressBar*>("ProgBarXP1");
  GetParam().operate(box("Check3"));
  ASSERT_TRUE(box("Check3")->isChecked());
  EXPECT_FALSE(bar->isHidden());
  GetParam().operate(box("Check3"));
  EXPECT_TRUE(bar->isHidden());
}

INSTANTIATE_TEST_SUITE_P(Window, OperatedAnyWay, ::testing::ValuesIn(kWays),
                         [](const ::testing::TestParamInfo<Way>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace mdi
