// The window on a real X server, for what only a window system shows. The
// start-up notice is painted before discovery blocks. Long paths, with the
// server's fonts: the target folder and an image file's name elided in the
// middle with their full text as tip, the columns that matter inside their
// frames (checked through the texts as drawn, not through pixels). Locking
// the window for a run, under a window manager: Close is refused without
// re-creating the window, which is never hidden and keeps its native
// window, its frame and its place; Exit still asks, and quits only on Yes.
// Run through tests/xvfb/private-x.sh (as ctest runs it), the binary has an
// X server of its own, said in MDI_PRIVATE_X, and uses the xcb platform;
// run any other way it never touches the desktop's display, and the tests
// skip saying why. A screenshot is kept when MDI_SHOT_DIR names a folder
// (for a person to look at); otherwise nothing is written.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/ElidingLabel.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// Empty when the tests can run; otherwise why they skip.
std::string xSkipReason;

void saveShot(const QImage& img, const char* name) {
  const char* dir = std::getenv("MDI_SHOT_DIR");
  if (dir && *dir) img.save(QString::fromLocal8Bit(dir) + "/" + name);
}
void saveScreenShot(const char* name) { saveShot(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), name); }

TEST(StartUpScreen, NoticeIsOnScreenWhileDiscoveryRuns) {
  if (!xSkipReason.empty()) GTEST_SKIP() << xSkipReason;
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

TEST(RunLockScreen, RefusesCloseKeepsTheWindowAsItIsAndExitAsks) {
  if (!xSkipReason.empty()) GTEST_SKIP() << xSkipReason;
  WindowHarness h;
  int visibilityChanges = 0;
  auto w = h.start();
  QTest::qWait(400);
  QObject::connect(w->windowHandle(), &QWindow::visibleChanged, [&] { ++visibilityChanges; });
  const QRect frame = w->frameGeometry();
  const WId id = w->winId();

  w->runController().LockRunControls();
  QTest::qWait(400);
  saveScreenShot("locked.png");
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(w->frameGeometry(), frame);
  h.msg.answer("Exit?", MsgAnswer::Yes);  // No is the run's window test (Window.RunThroughTheButtonsAndMenus)
  w->mnuExitClick();
  EXPECT_EQ(std::pair(h.msg.count("Exit?"), h.quits), std::pair(1, 1));

  w->runController().UnlockRunControls();
  QTest::qWait(400);
  saveScreenShot("unlocked.png");
  EXPECT_TRUE(w->windowHandle()->flags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(visibilityChanges, 0);
  EXPECT_EQ(w->winId(), id);
  EXPECT_EQ(w->frameGeometry(), frame);
  EXPECT_TRUE(w->close());
}

// Elided in the middle: shorter, with the ellipsis, both ends kept.
void expectElidedInTheMiddle(const QString& shown, const QString& full, const char* what) {
  EXPECT_NE(shown, full) << what;
  EXPECT_TRUE(shown.contains(QChar(0x2026)) && full.startsWith(shown.left(4)) && full.endsWith(shown.right(6)))
      << what << ": " << shown.toStdString();
}

// A grid cell's text as the style draws it: inside the focus-frame
// margins, elided as the grid says.
QString shownText(GridView* g, int row, int col) {
  const int margin = g->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, g) + 1;
  return g->fontMetrics().elidedText(g->item(row - 1, col - 1)->text(), g->textElideMode(),
                                     g->columnWidth(col - 1) - 2 * margin);
}

// Every shown column lies inside the grid's viewport (which never scrolls
// sideways).
void expectColumnsFit(GridView* g, const char* what) {
  int total = 0;
  for (int c = 0; c < g->columnCount(); ++c)
    if (!g->isColumnHidden(c)) total += g->columnWidth(c);
  EXPECT_LE(total, g->viewport()->width()) << what;
}

// The window at its designed size with a long target folder, a drive of the
// widest size text and an image file with a long name in the drive grid.
TEST(LongTextsScreen, PathsAreElidedInTheMiddleAndColumnsFit) {
  if (!xSkipReason.empty()) GTEST_SKIP() << xSkipReason;
  namespace fs = std::filesystem;
  const ScratchDir dir("mdi-xclip-");
  const fs::path target = dir.path / "images of the storage array taken in the second week" / "customer 4711 shelf 3";
  const fs::path image =
      dir.path / "source images" / "array-shelf-3-disk-17-serial-WD-WCC4N0123456-520-byte-sectors.img";
  fs::create_directories(image.parent_path());
  std::ofstream(image) << "x";
  WindowHarness h;
  auto w = h.start(dir.path.string(), [](FormState& f, const Separators& sep) {
    // "1,024.0 Gb", the widest size text.
    AddDriveRow(f.iGrid1, listedDrive(0, "/dev/sdb", "ATA WDC WD10EFRX-68FYTN0", 1099511627776ULL, 520), sep);
  });
  h.pickers.folders = {target.string()};
  w->findChild<QPushButton*>("Command1")->click();
  h.pickers.files.push_back({image.string()});
  w->findChild<QPushButton*>("Command4")->click();
  QTest::qWait(300);
  saveScreenShot("long-texts-drive-grid.png");

  auto* l2 = w->findChild<ElidingLabel*>("Label2");
  expectElidedInTheMiddle(l2->shownText(), QString::fromStdString(target.string()), "Label2");
  EXPECT_EQ(tipOf(l2), target.string());
  QToolTip::hideText();
  auto* drives = w->findChild<GridView*>("iGrid1");
  EXPECT_EQ(std::pair(shownText(drives, 1, 3), shownText(drives, 1, 6)),
            std::pair(QString("1,024.0 Gb"), QString("520")));
  expectColumnsFit(drives, "drive grid");
  // The image file's long name keeps its end, on one line (a wrapped cell
  // is cut at the end of its last line); the tip where the pointer rests on
  // it is the whole path. Both grids are the one grid view, so this row
  // stands for the job list's, too.
  ASSERT_EQ(w->form().iGrid1.value(2, 2), image.string());
  EXPECT_FALSE(drives->wordWrap());
  expectElidedInTheMiddle(shownText(drives, 2, 2), QString::fromStdString(image.string()), "file row");
  EXPECT_EQ(tipOf(drives->viewport(), cellCentre(drives, 2, 2)), image.string());
  QToolTip::hideText();

  for (int r = w->form().iGrid1.rowCount(); r >= 1; --r) {
    w->form().iGrid1.setCurrentRow(r);
    w->jobEditor().AddDriveToJobList();
  }
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  auto* jobs = w->findChild<GridView*>("iGrid2");
  expectColumnsFit(jobs, "job grid");
  w->findChild<QCheckBox*>("Check2")->click();
  QToolTip::hideText();
  QTest::qWait(300);
  saveScreenShot("long-texts-job-grid.png");
  expectColumnsFit(jobs, "job grid with sector columns");
  for (int c : {JobCol::ID, JobCol::Size, JobCol::SectorIn, JobCol::SectorOut, JobCol::BPS})
    for (int r = 1; r <= 2; ++r) EXPECT_EQ(shownText(jobs, r, c), jobs->item(r - 1, c - 1)->text()) << c;
}

}  // namespace
}  // namespace mdi

int main(int argc, char** argv) {
  if (std::getenv("MDI_PRIVATE_X")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
  } else {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    mdi::xSkipReason = "no X server of its own (run through tests/xvfb/private-x.sh; apt-get install xvfb xauth)";
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
