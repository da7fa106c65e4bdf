// The drive list of the window: listed at start-up and brought up to date
// on device events and F5. Everything that reads sysfs, udev or a drive
// runs aside, so no drive can hold the window; the grid and the drive
// table change on the window's thread only.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include "app/QtControls.h"
#include "app/WhenDone.h"
#include "app/frmMain.h"
#include "discovery/LiveDriveList.h"

namespace mdi {

void frmMain::listDrivesAside() {
  if (!m_deps.listDrives) {
    drivesFound({});
    return;
  }
  whenDone<FrmMainDeps::FillDrives>(
      this, [gather = m_deps.listDrives, paths = m_form.SystemLetters] { return gather(paths); },
      [this](FrmMainDeps::FillDrives fill) { drivesFound(fill); });
}

void frmMain::drivesFound(const FrmMainDeps::FillDrives& fill) {
  Controls& ui = *m_controls;
  if (fill) fill(m_form, m_sv->locale.separators());
  ui.setStatusText(1, "Ready");
  ui.setBusyCursor(false);
  ui.setVisible(Ctl::AlertBox1, false);
  m_form.iGrid1.sortByColumn(1);
  watchDevices();
}

void frmMain::watchDevices() {
  connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, [this] { rescanDrives(); });
  m_rescanTimer = new QTimer(this);
  m_rescanTimer->setSingleShot(true);
  connect(m_rescanTimer, &QTimer::timeout, this, [this] { rescanDrives(); });
  DeviceMonitor* monitor = m_deps.deviceMonitor;
  if (!monitor || monitor->fd() < 0) return;
  auto* notifier = new QSocketNotifier(monitor->fd(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this, monitor] {
    if (monitor->takeEvents()) m_rescanTimer->start(kSettleMs);
  });
}

void frmMain::rescanDrives() {
  if (!m_deps.rescanDrives) return;
  // A run holds drive numbers and locks the grids; the list catches up
  // once it has ended.
  if (m_form.running) {
    m_rescanTimer->start(kRunPollMs);
    return;
  }
  // One rescan at a time; one asked for meanwhile follows it.
  if (m_rescanOut) {
    m_rescanAgain = true;
    return;
  }
  m_rescanOut = true;
  whenDone<FrmMainDeps::ApplyDriveChanges>(this, m_deps.rescanDrives, [this](FrmMainDeps::ApplyDriveChanges apply) {
    m_rescanOut = false;
    // Gathered before a run began: gathered again once it has ended.
    if (m_form.running) {
      m_rescanTimer->start(kRunPollMs);
      return;
    }
    if (apply) applyDriveChanges(m_form, apply(), m_sv->locale.separators());
    if (std::exchange(m_rescanAgain, false)) rescanDrives();
  });
}

void frmMain::paintBeforeDiscovery() {
  // A window system exposes a newly shown window only after a round trip
  // (and a window manager's framing); whatever is painted before that is
  // lost. Wait for the exposure, within a bound, then paint everything at
  // once, so the start-up notice is on screen before any drive is asked.
  QElapsedTimer waited;
  waited.start();
  while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kExposeWaitMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  QCoreApplication::processEvents();
  repaint();
  QCoreApplication::processEvents();
}

}  // namespace mdi
