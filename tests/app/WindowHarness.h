#pragma once
// The services a window test hands to frmMain, and the dependency set made
// of them. Message boxes, pickers, the launcher, Exit and the help viewer are
// fakes that record instead of reaching the desktop; files, clock, event
// pump, locale and I/O are the real ones, as the window is tested on real
// files and timers. Beside it, what the tests do to the window as an
// operator would: a resting pointer, the window activated.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/GridView.h"
#include "app/frmMain.h"
#include "discovery/ListDrives.h"
#include "jobs/JobList.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixSystemInfo.h"
#include "platform/linux/UringCycleIo.h"
#include "platform/qt/QtServices.h"
#include "tests/TestDir.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/Fakes.h"

namespace mdi {

// Pumps events until `done` holds or `ms` have passed; returns `done()`.
template <class F>
bool within(F&& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

// Makes `w` the active window; true once it is.
inline bool activated(QWidget& w) {
  w.activateWindow();
  return within([&] { return w.isActiveWindow(); });
}

// The tip shown when the pointer rests at `at` on `w`.
inline std::string tipOf(QWidget* w, QPoint at = QPoint(5, 5)) {
  QHelpEvent e(QEvent::ToolTip, at, w->mapToGlobal(at));
  QApplication::sendEvent(w, &e);
  return QToolTip::text().toStdString();
}

// The centre of a grid cell (1-based, as the grid model counts), in its
// viewport's coordinates.
inline QPoint cellCentre(GridView* g, int row, int col) {
  return g->visualRect(g->model()->index(row - 1, col - 1)).center();
}

// A drive as discovery lists it: present, `size` bytes in sectors of `bps`.
inline DriveRecord listedDrive(int number, const std::string& node, const std::string& model,
                               std::uint64_t size = 8 << 20, std::uint32_t bps = 512) {
  DriveRecord d;
  d.number = number;
  d.deviceId = node;
  d.model = model;
  d.size = size;
  d.bytesPerSector = bps;
  d.mediaPresent = true;
  return d;
}

struct WindowHarness {
  FrmMainDeps deps(const std::string& programFolder,
                   std::function<void(FormState&, const Separators&)> listDrives = {}) {
    FrmMainDeps d;
    d.msg = &msg;
    d.pickers = &pickers;
    d.launcher = &launcher;
    d.drives = &drives;
    d.io = &io;
    d.fs = &fileSystem;
    d.files = &files;
    d.records = &records;
    d.system = &system;
    d.clock = &clock;
    d.pump = &pump;
    d.locale = &locale;
    d.programFolder = programFolder;
    d.systemPaths = {"/", programFolder};
    d.quit = [this] { ++quits; };
    d.openDocument = [this](const std::string& p) { opened.push_back(p); };
    // The test's listing fills the grid on the window's thread; nothing is
    // gathered aside.
    if (listDrives) d.listDrives = [fill = std::move(listDrives)](const std::vector<std::string>&) { return fill; };
    return d;
  }
  // A started window over these services.
  std::unique_ptr<frmMain> start(const std::string& programFolder = std::filesystem::temp_directory_path().string(),
                                 std::function<void(FormState&, const Separators&)> listDrives = {}) {
    return start(deps(programFolder, std::move(listDrives)));
  }
  // Returns once the drives are listed.
  static std::unique_ptr<frmMain> start(FrmMainDeps d) {
    auto w = std::make_unique<frmMain>(std::move(d));
    w->startUp();
    awaitListing(*w);
    return w;
  }
  // Keeps the window's events until its drives are listed (start-up ends
  // "Ready").
  static void awaitListing(frmMain& w) {
    EXPECT_TRUE(within([&] { return w.controls().statusText(1) == "Ready"; }, 10000))
        << "the drives were not listed within 10 s";
  }
  FakeMessageBox msg;
  FakePickers pickers;
  FakeLauncher launcher;
  PosixFileAccess files;
  FakeDriveTable drives{files};
  LinuxCycleIoFactory io{ioPathFromEnvironment()};
  PosixFileSystem fileSystem;
  PosixAtomicFile records;
  PosixSystemInfo system;
  MonotonicClock clock;
  QtEventPump pump;
  QtLocale locale;
  int quits = 0;
  std::vector<std::string> opened;
};

}  // namespace mdi
