// The window however the operator works it. The option boxes act on being
// toggled, not clicked: the accessibility toggle action (what screen
// readers and switch-access tools use) toggles without a click; a click
// toggles too, as other tests' clicks show.
// "Input value" runs its handler only when the focus moves to another
// control of the window, never when a menu opens or the window loses
// activation (one case per path: another control, a menu, another window,
// the menu bar). A question's buttons give their answers.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QMessageBox>
#include <QTimer>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct FocusCase {
  const char* name;
  std::function<void(frmMain&)> leave;  // takes the focus away from Text1
  bool handlerRuns;                     // Force Read unticked afterwards
};
const FocusCase kLeaves[] = {
    {"SetTargetButton", [](frmMain& w) { w.findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason); },
     true},
    {"FileMenuOpenedAndClosed",
     [](frmMain& w) {
       QMenu* file = w.findChild<QMenu*>("mnuFile");
       w.menuBar()->setActiveAction(file->menuAction());
       ASSERT_TRUE(within([&] { return file->isVisible(); }));
       file->hide();
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

// Use Sector Mutate, toggled as an accessibility tool does, sets the sector
// boxes (what else it does, and what unticking it does, is the job
// editor's part); Show Progress shows the bar. Then Input value is left
// each way in turn.
TEST(OptionBoxesAndInputValue, ActWhenToggledAndWhenTheFocusMovesToAnotherControl) {
  WindowHarness h;
  auto w = h.start();
  auto* mutate = w->findChild<QCheckBox*>("Check2");
  auto* progress = w->findChild<QCheckBox*>("Check3");
  auto* forceRead = w->findChild<QCheckBox*>("Check4");
  auto* in = w->findChild<QLineEdit*>("Text1");
  auto* bar = w->findChild<QProgressBar*>("ProgBarXP1");
  auto toggle = [](QCheckBox* b) {  // the toggle action, which clicks a moment later, as animated
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
    ASSERT_TRUE(a && a->actionInterface());
    a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QTest::qWait(250);
  };
  toggle(mutate);
  EXPECT_EQ(std::tuple(mutate->isChecked(), in->isEnabled(), in->text().toStdString()), std::tuple(true, true, "520"));
  toggle(progress);
  EXPECT_EQ(std::pair(progress->isChecked(), bar->isHidden()), std::pair(true, false));
  toggle(progress);
  EXPECT_TRUE(bar->isHidden());
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
}

// The overwrite question of a job that can be resumed has a third button,
// "Resume": each button gives its own answer (a key on a button brings the
// same click).
TEST(ResumeQuestion, EachButtonGivesItsAnswer) {
  for (const auto& [button, answer] :
       {std::pair{"Resume", MsgAnswer::Resume}, {"Yes", MsgAnswer::Yes}, {"No", MsgAnswer::No}}) {
    SCOPED_TRACE(button);
    QTimer::singleShot(50, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      for (QAbstractButton* b : box->buttons())
        if (b->text().remove('&') == button) return QTest::mouseClick(b, Qt::LeftButton);
      ADD_FAILURE() << "no button " << button;
      box->reject();
    });
    QtMessageBox boxes;
    EXPECT_EQ(boxes.show({"The file already exists.", "File exists", MsgIcon::Question, MsgButtons::YesNoResume, true}),
              answer);
  }
}

}  // namespace
}  // namespace mdi
