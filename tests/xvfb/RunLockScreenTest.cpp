// Locking for a run under a window manager: the window stays where it is,
// framed as before, and Close is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/frmMain.h"
#include "tests/app/WindowHarness.h"
#include "tests/xvfb/Shots.h"
#include "tests/xvfb/XServer.h"

namespace mdi {
namespace {

TEST(RunLockScreen, WindowDoesNotMoveWhenLocked) {
  if (!xSkipReason().empty()) GTEST_SKIP() << xSkipReason();
  WindowHarness h;
  frmMain w(h.deps(std::filesystem::temp_directory_path().string()));
  w.startUp();
  settle(400);
  const QRect frame = w.frameGeometry();
  const WId id = w.winId();
  w.runController().LockRunControls();
  settle(400);
  saveScreenShot("locked.png");
  EXPECT_EQ(w.frameGeometry(), frame);
  EXPECT_EQ(w.winId(), id);
  EXPECT_FALSE(w.close());
  w.runController().UnlockRunControls();
  settle(400);
  saveScreenShot("unlocked.png");
  EXPECT_EQ(w.frameGeometry(), frame);
  EXPECT_EQ(w.winId(), id);
}

}  // namespace
}  // namespace mdi
