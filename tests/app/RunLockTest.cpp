// Locking the window for a run refuses Close without re-creating the
// window: it is never hidden, keeps its native window and its place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QWindow>
#include <filesystem>

#include "app/frmMain.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

class ShowHideCounter final : public QObject {
 public:
  int hides = 0, shows = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Hide) ++hides;
    if (e->type() == QEvent::Show) ++shows;
    return false;
  }
};

TEST(RunLock, LockAndUnlockKeepTheWindowAsItIs) {
  WindowHarness h;
  frmMain w(h.deps(std::filesystem::temp_directory_path().string()));
  w.startUp();
  QCoreApplication::processEvents();
  ShowHideCounter counter;
  w.installEventFilter(&counter);
  const WId id = w.winId();
  const QRect place = w.geometry();

  w.runController().LockRunControls();
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(w.windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));

  w.runController().UnlockRunControls();
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(counter.hides, 0);
  EXPECT_EQ(counter.shows, 0);
  EXPECT_EQ(w.winId(), id);
  EXPECT_EQ(w.geometry(), place);
  EXPECT_TRUE(w.close());
}

}  // namespace
}  // namespace mdi
