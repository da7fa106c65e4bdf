// The overwrite question of a job that can be resumed has a third button,
// "Resume": each button gives its own answer, by mouse and by keyboard.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/qt/QtServices.h"
#include "tests/CaseName.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

struct ButtonCase {
  std::string name;
  QString button;
  bool keyboard;
  MsgAnswer answer;
};

class ResumeQuestion : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(ResumeQuestion, EachButtonGivesItsAnswer) {
  const ButtonCase& c = GetParam();
  QString seen;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons()) seen += b->text().remove('&') + ";";
    for (QAbstractButton* b : box->buttons()) {
      if (b->text().remove('&') != c.button) continue;
      if (c.keyboard) {
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Space);
      } else {
        QTest::mouseClick(b, Qt::LeftButton);
      }
      return;
    }
    box->reject();
  });
  QtMessageBox boxes;
  const MsgAnswer a =
      boxes.show({"The file /images/001.bin already exists and will be overwritten. Are you sure you "
                  "want to do this?",
                  "File exists", MsgIcon::Question, MsgButtons::YesNoResume, true});
  EXPECT_EQ(a, c.answer) << seen.toStdString();
  EXPECT_TRUE(seen.contains("Resume;")) << seen.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Buttons, ResumeQuestion,
                         ::testing::Values(ButtonCase{"ResumeClicked", "Resume", false, MsgAnswer::Resume},
                                           ButtonCase{"ResumeByKeyboard", "Resume", true, MsgAnswer::Resume},
                                           ButtonCase{"YesClicked", "Yes", false, MsgAnswer::Yes},
                                           ButtonCase{"NoClicked", "No", false, MsgAnswer::No}),
                         ByName{});

}  // namespace
}  // namespace mdi::test
