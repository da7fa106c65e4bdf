// Locking the window for a run refuses Close without re-creating the
// window: it is never hidden, keeps its native window and its place. Exit
// still asks, and quits only on Yes.
#include <gtest/gtest.h>

#include <QWindow>

#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

class ShowHideCounter final : public QObject {
 public:
  int hides = 0, shows = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    hides += e->type() == QEvent::Hide;
    shows += e->type() == QEvent::Show;
    return false;
  }
};

TEST(RunLock, RefusesCloseKeepsTheWindowAsItIsAndExitAsks) {
  WindowHarness h;
  auto w = h.start();
  QCoreApplication::processEvents();
  ShowHideCounter counter;
  w->installEventFilter(&counter);
  const WId id = w->winId();
  const QRect place = w->geometry();

  w->runController().LockRunControls();
  QCoreApplication::processEvents();
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  h.msg.answer("Exit?", MsgAnswer::No);
  w->mnuExitClick();
  EXPECT_EQ(h.quits, 0);
  h.msg.answer("Exit?", MsgAnswer::Yes);
  w->mnuExitClick();
  EXPECT_EQ(h.quits, 1);

  w->runController().UnlockRunControls();
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(counter.hides, 0);
  EXPECT_EQ(counter.shows, 0);
  EXPECT_EQ(w->winId(), id);
  EXPECT_EQ(w->geometry(), place);
  EXPECT_TRUE(w->close());
}

}  // namespace
}  // namespace mdi
