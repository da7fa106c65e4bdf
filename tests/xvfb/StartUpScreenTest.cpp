// What the operator sees on a real X server while discovery runs: the
// start-up notice and the status text, painted before discovery blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/app/WindowHarness.h"
#include "tests/xvfb/Shots.h"
#include "tests/xvfb/XServer.h"

namespace mdi {
namespace {

TEST(StartUpScreen, NoticeIsOnScreenWhileDiscoveryRuns) {
  if (!xSkipReason().empty()) GTEST_SKIP() << xSkipReason();
  WindowHarness h;
  std::unique_ptr<frmMain> w;
  QImage during;
  QRect alert;
  // A slow drive listing: what the screen holds half-way through it is what
  // the operator looks at.
  w = std::make_unique<frmMain>(
      h.deps(std::filesystem::temp_directory_path().string(), [&](FormState&, const Separators&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        during = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        auto* a = w->findChild<QLabel*>("AlertBox1");
        alert = QRect(a->mapToGlobal(QPoint(0, 0)), a->size());
      }));
  w->startUp();
  WindowHarness::awaitListing(*w);
  ASSERT_FALSE(during.isNull());
  saveShot(during, "startup-during-discovery.png");
  ASSERT_TRUE(alert.isValid());
  // The notice's own fill, not an unpainted (black) window.
  const QColor inside = during.pixelColor(alert.left() + 6, alert.top() + 6);
  EXPECT_EQ(inside, QColor(0xff, 0xff, 0xe1)) << inside.name().toStdString();
}

}  // namespace
}  // namespace mdi
