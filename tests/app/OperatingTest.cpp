// The window however the operator works it. The option boxes do the same
// whichever way they are operated: a mouse click, the Space key, or an
// accessibility action (what screen readers and switch-access tools use).
// "Input value" runs its handler only when the focus moves to another
// control of the window, never when a menu opens or the window loses
// activation. An in-place edit of a job cell ends however it is left, and
// the job grid's edit-allowed flag is off again.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

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
       ASSERT_TRUE(
           accessibleAction(QAccessible::queryAccessibleInterface(b), QAccessibleActionInterface::toggleAction()));
     }},
    {"AccessiblePress",
     [](QCheckBox* b) {
       ASSERT_TRUE(
           accessibleAction(QAccessible::queryAccessibleInterface(b), QAccessibleActionInterface::pressAction()));
     }},
};

class OperatedAnyWay : public ::testing::TestWithParam<Way> {
 protected:
  QCheckBox* box(const char* name) { return w->findChild<QCheckBox*>(name); }
  QLineEdit* text(const char* name) { return w->findChild<QLineEdit*>(name); }
  WindowHarness h;
  std::unique_ptr<frmMain> w = h.start();
};

// Use Sector Mutate sets the sector boxes; Show Progress shows the bar.
TEST_P(OperatedAnyWay, OptionBoxesDoWhatTheySay) {
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

  QProgressBar* bar = w->findChild<QProgressBar*>("ProgBarXP1");
  GetParam().operate(box("Check3"));
  ASSERT_TRUE(box("Check3")->isChecked());
  EXPECT_FALSE(bar->isHidden());
  GetParam().operate(box("Check3"));
  EXPECT_TRUE(bar->isHidden());
}

INSTANTIATE_TEST_SUITE_P(Window, OperatedAnyWay, ::testing::ValuesIn(kWays), ByName());

struct FocusCase {
  const char* name;
  std::function<void(frmMain&)> leave;  // takes the focus away from Text1
  bool handlerRuns;                     // Force Read unticked afterwards
};

class FocusLeaves : public ::testing::TestWithParam<FocusCase> {
 protected:
  void SetUp() override {
    w = h.startActive();
    ASSERT_TRUE(w->isActiveWindow());
    w->findChild<QCheckBox*>("Check4")->setChecked(true);  // no sector notice
    w->findChild<QCheckBox*>("Check2")->click();
    auto* text1 = w->findChild<QLineEdit*>("Text1");
    text1->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(within([&] { return text1->hasFocus(); }));
  }
  void TearDown() override {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<QMenu*>(top)) top->hide();
  }
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_P(FocusLeaves, ForceReadIsUntickedOnlyForAnotherControl) {
  GetParam().leave(*w);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->findChild<QCheckBox*>("Check4")->isChecked(), !GetParam().handlerRuns);
}

QMenu* fileMenu(frmMain& w) { return w.findChild<QMenu*>("mnuFile"); }

INSTANTIATE_TEST_SUITE_P(
    Window, FocusLeaves,
    ::testing::Values(
        FocusCase{"FileMenuOpenedAndClosed",
                  [](frmMain& w) {
                    w.menuBar()->setActiveAction(fileMenu(w)->menuAction());
                    ASSERT_TRUE(within([&] { return fileMenu(w)->isVisible(); }));
                    fileMenu(w)->hide();
                    QCoreApplication::processEvents();
                  },
                  false},
        FocusCase{"MenuBarByKeyboard",
                  [](frmMain&) {
                    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
                    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
                    QApplication::sendEvent(QApplication::focusWidget(), &press);
                    QApplication::sendEvent(QApplication::focusWidget(), &release);
                    QCoreApplication::processEvents();
                  },
                  false},
        FocusCase{"AnotherWindowActivated",
                  [](frmMain& w) {
                    auto* other = new QWidget;
                    other->setAttribute(Qt::WA_DeleteOnClose);
                    other->show();
                    other->activateWindow();
                    ASSERT_TRUE(within([&] { return other->isActiveWindow(); }));
                    other->close();
                    w.activateWindow();
                    ASSERT_TRUE(within([&] { return w.isActiveWindow(); }));
                  },
                  false},
        FocusCase{"Text2", [](frmMain& w) { w.findChild<QLineEdit*>("Text2")->setFocus(Qt::TabFocusReason); }, true},
        FocusCase{"SetTargetButton",
                  [](frmMain& w) { w.findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason); }, true}),
    ByName());

struct EditCase {
  const char* name;
  std::function<void(frmMain&, QLineEdit*)> leave;
  const char* fileNameAfter;
};

class InPlaceEdit : public ::testing::TestWithParam<EditCase> {
 protected:
  QLineEdit* editor() {
    for (QLineEdit* e : w->findChild<QWidget*>("iGrid2")->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  WindowHarness h;
  std::unique_ptr<frmMain> w = h.startActive();
};

TEST_P(InPlaceEdit, EditFlagIsOffWhenTheEditEnds) {
  ASSERT_TRUE(w->isActiveWindow());
  GridModel& jobs = w->form().iGrid2;
  const int r = jobs.addRow();
  jobs.setValue(r, JobCol::Model, "M");
  jobs.setValue(r, JobCol::FileName, "/out/001.bin");
  w->jobEditor().JobGridDoubleClick(1, JobCol::FileName);
  ASSERT_TRUE(jobs.editAllowed());
  QLineEdit* e = nullptr;
  ASSERT_TRUE(within([&] { return (e = editor()) != nullptr; }));
  GetParam().leave(*w, e);
  ASSERT_TRUE(within([&] { return editor() == nullptr; }));
  EXPECT_FALSE(jobs.editAllowed());
  EXPECT_EQ(jobs.value(1, JobCol::FileName), GetParam().fileNameAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Window, InPlaceEdit,
    ::testing::Values(
        EditCase{"Escape",
                 [](frmMain&, QLineEdit* e) {
                   e->setText("/out/x.bin");
                   key(e, Qt::Key_Escape);
                 },
                 "/out/001.bin"},
        EditCase{"EnterWithTheSameText", [](frmMain&, QLineEdit* e) { key(e, Qt::Key_Return); }, "/out/001.bin"},
        EditCase{"EnterWithANewText",
                 [](frmMain&, QLineEdit* e) {
                   e->setText("/out/x.bin");
                   key(e, Qt::Key_Return);
                 },
                 "/out/x.bin"},
        EditCase{"ClickOnAnotherControl",
                 [](frmMain& w, QLineEdit*) { w.findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason); },
                 "/out/001.bin"}),
    ByName());

}  // namespace
}  // namespace mdi
