// The window however the operator works it. The option boxes do the same
// whichever way they are operated: a mouse click, the Space key, or an
// accessibility action (what screen readers and switch-access tools use).
// "Input value" runs its handler only when the focus moves to another
// control of the window, never when a menu opens or the window loses
// activation. An in-place edit of a job cell ends however it is left, and
// the job grid's edit-allowed flag is off again. Each test starts one
// window and goes through its ways in turn.
#include <gtest/gtest.h>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

QAccessibleInterface* accessible(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }

struct Way {
  const char* name;
  std::function<void(QCheckBox*)> operate;
};
const Way kWays[] = {
    {"MouseClick", [](QCheckBox* b) { b->click(); }},
    {"SpaceKey", [](QCheckBox* b) { key(b, Qt::Key_Space, " "); }},
    {"AccessibleToggle",
     [](QCheckBox* b) { ASSERT_TRUE(accessibleAction(accessible(b), QAccessibleActionInterface::toggleAction())); }},
    {"AccessiblePress",
     [](QCheckBox* b) { ASSERT_TRUE(accessibleAction(accessible(b), QAccessibleActionInterface::pressAction())); }},
};

// Use Sector Mutate sets the sector boxes; Show Progress shows the bar.
TEST(OptionBoxes, DoWhatTheySayHoweverOperated) {
  WindowHarness h;
  auto w = h.start();
  auto* mutate = child<QCheckBox>(*w, "Check2");
  auto* progress = child<QCheckBox>(*w, "Check3");
  auto* in = child<QLineEdit>(*w, "Text1");
  auto* out = child<QLineEdit>(*w, "Text2");
  auto* bar = child<QProgressBar>(*w, "ProgBarXP1");
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.name);
    way.operate(mutate);
    ASSERT_TRUE(mutate->isChecked());
    EXPECT_EQ(std::tuple(in->isEnabled(), in->text().toStdString(), out->text().toStdString(),
                         w->form().iGrid2.isColumnVisible(JobCol::SectorIn)),
              std::tuple(true, "520", "512", true));
    way.operate(mutate);
    ASSERT_FALSE(mutate->isChecked());
    EXPECT_EQ(std::tuple(in->isEnabled(), in->text().toStdString()), std::tuple(false, "512"));
    way.operate(progress);
    ASSERT_TRUE(progress->isChecked());
    EXPECT_FALSE(bar->isHidden());
    way.operate(progress);
    EXPECT_TRUE(bar->isHidden());
  }
}

QMenu* fileMenu(frmMain& w) { return child<QMenu>(w, "mnuFile"); }

struct FocusCase {
  const char* name;
  std::function<void(frmMain&)> leave;  // takes the focus away from Text1
  bool handlerRuns;                     // Force Read unticked afterwards
};
const FocusCase kLeaves[] = {
    {"Text2", [](frmMain& w) { child<QLineEdit>(w, "Text2")->setFocus(Qt::TabFocusReason); }, true},
    {"SetTargetButton", [](frmMain& w) { child<QPushButton>(w, "Command1")->setFocus(Qt::MouseFocusReason); }, true},
    {"FileMenuOpenedAndClosed",
     [](frmMain& w) {
       w.menuBar()->setActiveAction(fileMenu(w)->menuAction());
       ASSERT_TRUE(within([&] { return fileMenu(w)->isVisible(); }));
       fileMenu(w)->hide();
       QCoreApplication::processEvents();
     },
     false},
    {"AnotherWindowActivated",
     [](frmMain& w) {
       auto* other = new QWidget;
       other->setAttribute(Qt::WA_DeleteOnClose);
       other->show();
       ASSERT_TRUE(activated(*other));
       other->close();
       ASSERT_TRUE(activated(w));
     },
     false},
    {"MenuBarByKeyboard",
     [](frmMain&) {
       QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
       QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
       QApplication::sendEvent(QApplication::focusWidget(), &press);
       QApplication::sendEvent(QApplication::focusWidget(), &release);
       QCoreApplication::processEvents();
     },
     false},
};

TEST(InputValueLeft, UnticksForceReadOnlyForAnotherControl) {
  WindowHarness h;
  auto w = h.start();
  child<QCheckBox>(*w, "Check2")->click();
  auto* forceRead = child<QCheckBox>(*w, "Check4");
  auto* in = child<QLineEdit>(*w, "Text1");
  for (const FocusCase& c : kLeaves) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(activated(*w));
    in->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(within([&] { return in->hasFocus(); }));
    forceRead->setChecked(true);
    c.leave(*w);
    QCoreApplication::processEvents();
    EXPECT_EQ(forceRead->isChecked(), !c.handlerRuns);
  }
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<QMenu*>(top)) top->hide();
}

struct EditCase {
  const char* name;
  std::function<void(frmMain&, QLineEdit*)> leave;
  const char* fileNameAfter;
};
void typeAndPress(QLineEdit* e, const char* text, int k) {
  if (text) e->setText(text);
  key(e, k);
}
const EditCase kEdits[] = {
    {"Escape", [](frmMain&, QLineEdit* e) { typeAndPress(e, "/out/x.bin", Qt::Key_Escape); }, "/out/001.bin"},
    {"EnterWithTheSameText", [](frmMain&, QLineEdit* e) { typeAndPress(e, nullptr, Qt::Key_Return); }, "/out/001.bin"},
    {"EnterWithANewText", [](frmMain&, QLineEdit* e) { typeAndPress(e, "/out/x.bin", Qt::Key_Return); }, "/out/x.bin"},
    {"ClickOnAnotherControl",
     [](frmMain& w, QLineEdit*) { child<QPushButton>(w, "Command1")->setFocus(Qt::MouseFocusReason); }, "/out/001.bin"},
};

TEST(InPlaceEdit, EditFlagIsOffHoweverTheEditEnds) {
  WindowHarness h;
  auto w = h.startActive();
  ASSERT_TRUE(w->isActiveWindow());
  auto editor = [&]() -> QLineEdit* {
    for (QLineEdit* e : child<QWidget>(*w, "iGrid2")->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  };
  GridModel& jobs = w->form().iGrid2;
  jobs.setValue(jobs.addRow(), JobCol::Model, "M");
  for (const EditCase& c : kEdits) {
    SCOPED_TRACE(c.name);
    jobs.setValue(1, JobCol::FileName, "/out/001.bin");
    w->jobEditor().JobGridDoubleClick(1, JobCol::FileName);
    ASSERT_TRUE(jobs.editAllowed());
    QLineEdit* e = nullptr;
    ASSERT_TRUE(within([&] { return (e = editor()) != nullptr; }));
    c.leave(*w, e);
    ASSERT_TRUE(within([&] { return editor() == nullptr; }));
    EXPECT_FALSE(jobs.editAllowed());
    EXPECT_EQ(jobs.value(1, JobCol::FileName), c.fileNameAfter);
  }
}

}  // namespace
}  // namespace mdi
