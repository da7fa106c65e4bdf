// Locking the window for a run, under a window manager: Close is refused
// without re-creating the window, which is never hidden and keeps its
// native window, its frame and its place. Exit still asks, and quits only
// on Yes.
#include <gtest/gtest.h>

#include <QWindow>

#include "tests/app/WindowHarness.h"
#include "tests/xvfb/Shots.h"
#include "tests/xvfb/XServer.h"

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

TEST(RunLockScreen, RefusesCloseKeepsTheWindowAsItIsAndExitAsks) {
  if (!xSkipReason().empty()) GTEST_SKIP() << xSkipReason();
  WindowHarness h;
  auto w = h.start();
  pumpFor(400);
  ShowHideCounter counter;
  w->installEventFilter(&counter);
  const QRect frame = w->frameGeometry();
  const WId id = w->winId();

  w->runController().LockRunControls();
  pumpFor(400);
  saveScreenShot("locked.png");
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(w->frameGeometry(), frame);
  h.msg.answer("Exit?", MsgAnswer::No);
  w->mnuExitClick();
  EXPECT_EQ(h.quits, 0);
  h.msg.answer("Exit?", MsgAnswer::Yes);
  w->mnuExitClick();
  EXPECT_EQ(h.quits, 1);

  w->runController().UnlockRunControls();
  pumpFor(400);
  saveScreenShot("unlocked.png");
  EXPECT_TRUE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(counter.hides, 0);
  EXPECT_EQ(counter.shows, 0);
  EXPECT_EQ(w->winId(), id);
  EXPECT_EQ(w->frameGeometry(), frame);
  EXPECT_TRUE(w->close());
}

}  // namespace
}  // namespace mdi
