// Leaving "Input value" or "Output value" runs their handlers only when the
// focus moves to another control of the window, never when a menu opens or
// the window loses activation.
#include <gtest/gtest.h>

#include <ostream>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "app/frmMain.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

struct FocusCase {
  const char* name;
  std::function<void(frmMain&)> leave;  // takes the focus away from Text1
  bool handlerRuns;                      // Force Read unticked afterwards
};
void PrintTo(const FocusCase& c, std::ostream* os) { *os << c.name; }


class FocusLeaves : public ::testing::TestWithParam<FocusCase> {
 protected:
  void SetUp() override {
    w = h.startActive();
    ASSERT_TRUE(w->isActiveWindow());
    w->findChild<QCheckBox*>("Check4")->setChecked(true);  // no sector notice
    w->findChild<QCheckBox*>("Check2")->click();
    text1 = w->findChild<QLineEdit*>("Text1");
    text1->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(within([&] { return text1->hasFocus(); }));
  }
  void TearDown() override {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<QMenu*>(top)) top->hide();
    w.reset();
  }
  WindowHarness h;
  std::unique_ptr<frmMain> w;
  QLineEdit* text1 = nullptr;
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
        FocusCase{"Text2",
                  [](frmMain& w) { w.findChild<QLineEdit*>("Text2")->setFocus(Qt::TabFocusReason); }, true},
        FocusCase{"SetTargetButton",
                  [](frmMain& w) { w.findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason); },
                  true}),
    [](const ::testing::TestParamInfo<FocusCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace mdi
