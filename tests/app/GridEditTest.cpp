// An in-place edit of a job cell ends however the operator leaves it, and
// the job grid's edit-allowed flag is off again afterwards.
#include <gtest/gtest.h>

#include <ostream>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

void key(QWidget* to, int k) {
  QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
  QApplication::sendEvent(to, &press);
  QApplication::sendEvent(to, &release);
}

struct EditCase {
  const char* name;
  std::function<void(frmMain&, QLineEdit*)> leave;
  const char* fileNameAfter;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }


class InPlaceEdit : public ::testing::TestWithParam<EditCase> {
 protected:
  void SetUp() override {
    w = h.startActive();
    ASSERT_TRUE(w->isActiveWindow());
    GridModel& jobs = w->form().iGrid2;
    const int r = jobs.addRow();
    jobs.setValue(r, JobCol::Model, "M");
    jobs.setValue(r, JobCol::FileName, "/out/001.bin");
  }
  QLineEdit* editor() {
    for (QLineEdit* e : w->findChild<QWidget*>("iGrid2")->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_P(InPlaceEdit, EditFlagIsOffWhenTheEditEnds) {
  w->jobEditor().JobGridDoubleClick(1, JobCol::FileName);
  ASSERT_TRUE(w->form().iGrid2.editAllowed());
  QLineEdit* e = nullptr;
  ASSERT_TRUE(within([&] { return (e = editor()) != nullptr; }));
  GetParam().leave(*w, e);
  ASSERT_TRUE(within([&] { return editor() == nullptr; }));
  EXPECT_FALSE(w->form().iGrid2.editAllowed());
  EXPECT_EQ(w->form().iGrid2.value(1, JobCol::FileName), GetParam().fileNameAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Window, InPlaceEdit,
    ::testing::Values(
        EditCase{"Escape", [](frmMain&, QLineEdit* e) { e->setText("/out/x.bin"); key(e, Qt::Key_Escape); },
                 "/out/001.bin"},
        EditCase{"EnterWithTheSameText", [](frmMain&, QLineEdit* e) { key(e, Qt::Key_Return); }, "/out/001.bin"},
        EditCase{"EnterWithANewText", [](frmMain&, QLineEdit* e) { e->setText("/out/x.bin"); key(e, Qt::Key_Return); },
                 "/out/x.bin"},
        EditCase{"ClickOnAnotherControl",
                 [](frmMain& w, QLineEdit*) { w.findChild<QPushButton*>("Command1")->setFocus(Qt::MouseFocusReason); },
                 "/out/001.bin"}),
    [](const ::testing::TestParamInfo<EditCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace mdi
