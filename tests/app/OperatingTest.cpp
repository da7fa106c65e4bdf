// The window however the operator works it. The option boxes act on being
// toggled, not clicked: the accessibility toggle action (what screen
// readers and switch-access tools use) toggles without a click; a click
// toggles too, as other tests' clicks show.
// "Input value" runs its handler only when the focus moves to another
// control of the window, never when a menu opens or the window loses
// activation (one case per path: another control, a menu, another window,
// the menu bar). An in-place edit of a job cell ends however it is left
// (Escape, Enter, the focus moving on). Each test starts one window and
// goes through its ways in turn. The grids answer the mouse, and a
// question's buttons give their answers.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

QMenu* fileMenu(frmMain& w) { return child<QMenu>(w, "mnuFile"); }

struct FocusCase {
  const char* name;
  std::function<void(frmMain&)> leave;  // takes the focus away from Text1
  bool handlerRuns;                     // Force Read unticked afterwards
};
const FocusCase kLeaves[] = {
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

// Use Sector Mutate, toggled as an accessibility tool does, sets the sector
// boxes (what else it does, and what unticking it does, is the job
// editor's part); Show Progress shows the bar. Then Input value is left
// each way in turn.
TEST(OptionBoxesAndInputValue, ActWhenToggledAndWhenTheFocusMovesToAnotherControl) {
  WindowHarness h;
  auto w = h.start();
  auto* mutate = child<QCheckBox>(*w, "Check2");
  auto* progress = child<QCheckBox>(*w, "Check3");
  auto* forceRead = child<QCheckBox>(*w, "Check4");
  auto* in = child<QLineEdit>(*w, "Text1");
  auto* bar = child<QProgressBar>(*w, "ProgBarXP1");
  auto toggle = [](QCheckBox* b) {
    ASSERT_TRUE(accessibleAction(QAccessible::queryAccessibleInterface(b), QAccessibleActionInterface::toggleAction()));
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
  for (QWidget* top : QApplication::topLevelWidgets())
    if (qobject_cast<QMenu*>(top)) top->hide();
}

struct EditCase {
  const char* name;
  std::function<void(frmMain&, QLineEdit*)> leave;
  const char* fileNameAfter;
};
void typeAndPress(QLineEdit* e, const char* text, Qt::Key k) {
  e->setText(text);
  QTest::keyClick(e, k);
}
const EditCase kEdits[] = {
    {"Escape", [](frmMain&, QLineEdit* e) { typeAndPress(e, "/out/x.bin", Qt::Key_Escape); }, "/out/001.bin"},
    {"EnterWithANewText", [](frmMain&, QLineEdit* e) { typeAndPress(e, "/out/x.bin", Qt::Key_Return); }, "/out/x.bin"},
    {"ClickOnAnotherControl",
     [](frmMain& w, QLineEdit*) { child<QPushButton>(w, "Command1")->setFocus(Qt::MouseFocusReason); }, "/out/001.bin"},
};

// The grids answer the mouse itself, not only the handlers behind them: a
// drive double-clicked becomes a job; the job's File Name double-clicked is
// edited in place, however the edit is left; and its sector cell
// right-clicked offers the sector sizes, the one chosen landing in that
// cell and checked as the boxes are.
TEST(GridMouse, DoubleClickAddsADriveAndEditsAJobRightClickOffersTheSectorSizes) {
  WindowHarness h;
  auto w = h.start();
  FormState& form = w->form();
  form.run.TargetFolder = "/out";
  AddDriveRow(form.iGrid1, listedDrive(4, "/dev/sde", "ARRAY DISK", 1 << 30, 520), h.locale.separators());
  const int r = form.iGrid1.rowCount();
  auto* drives = child<GridView>(*w, "iGrid1");
  auto* jobs = child<GridView>(*w, "iGrid2");
  ASSERT_TRUE(drives && jobs && activated(*w));
  QTest::mouseDClick(drives->viewport(), Qt::LeftButton, {}, cellCentre(drives, r, 2));
  ASSERT_EQ(form.iGrid2.rowCount(), 1);
  EXPECT_EQ(form.iGrid2.value(1, JobCol::Model), "ARRAY DISK");
  EXPECT_EQ(form.iGrid1.rowCount(), 0);

  auto editor = [&]() -> QLineEdit* {
    for (QLineEdit* e : jobs->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  };
  for (const EditCase& c : kEdits) {
    SCOPED_TRACE(c.name);
    form.iGrid2.setValue(1, JobCol::FileName, "/out/001.bin");
    QTest::mouseDClick(jobs->viewport(), Qt::LeftButton, {}, cellCentre(jobs, 1, JobCol::FileName));
    QLineEdit* e = nullptr;
    ASSERT_TRUE(within([&] { return (e = editor()) != nullptr; }));
    c.leave(*w, e);
    ASSERT_TRUE(within([&] { return editor() == nullptr; }));
    EXPECT_EQ(form.iGrid2.value(1, JobCol::FileName), c.fileNameAfter);
    EXPECT_FALSE(form.iGrid2.beginEdit(1, JobCol::FileName)) << "editing stays on after the edit ended";
  }

  child<QCheckBox>(*w, "Check2")->setChecked(true);  // shows the sector columns
  QTest::mousePress(jobs->viewport(), Qt::RightButton, {}, cellCentre(jobs, 1, JobCol::SectorIn));
  auto* sizes = child<QMenu>(*w, "mnuSectors");
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
    EXPECT_EQ(boxes.show({"The file /images/001.bin already exists and will be overwritten. Are you sure you "
                          "want to do this?",
                          "File exists", MsgIcon::Question, MsgButtons::YesNoResume, true}),
              answer);
  }
}

}  // namespace
}  // namespace mdi
