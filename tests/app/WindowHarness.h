#pragma once
// The services a window test hands to frmMain, and the dependency set made
// of them. Message boxes, pickers, the launcher, Exit and the help viewer are
// fakes that record instead of reaching the desktop; files, clock, event
// pump, locale and I/O are the real ones, as the window is tested on real
// files and timers.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "platform/fakes/FakeDriveTable.h"
#include "platform/fakes/Fakes.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixSystemInfo.h"
#include "platform/linux/UringCycleIo.h"
#include "platform/qt/QtServices.h"

namespace mdi {

// Pumps events until `done` holds or `ms` have passed; returns `done()`.
template <class F>
bool within(F&& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
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
    d.listDrives = std::move(listDrives);
    return d;
  }
  // A started window that is the active one, so focus moves as it would.
  std::unique_ptr<frmMain> startActive() {
    auto w = std::make_unique<frmMain>(deps(std::filesystem::temp_directory_path().string()));
    w->startUp();
    w->activateWindow();
    within([&] { return w->isActiveWindow(); });
    return w;
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
