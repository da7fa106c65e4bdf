#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include "app/HostServices.h"
#include "app/ManualFolder.h"
#include "app/frmMain.h"
#include "discovery/LinuxDriveTable.h"
#include "discovery/ListDrives.h"
#include "platform/ForwardingDriveTable.h"
#include "platform/dbus/UdisksBroker.h"
#include "platform/linux/DeviceOpener.h"
#include "platform/linux/LinuxDriveEnumerator.h"
#include "platform/linux/UdevMonitor.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
  mdi::LinuxDriveEnumerator enumerator;
  // Drives the user may not open are opened through udisks2, which asks
  // for a password when a run first needs one.
  mdi::UdisksBroker udisks;
  mdi::DeviceOpener opener(&udisks);
  // The grid and the drive table a run opens from hold the records of one
  // enumeration; the table exists once discovery has run.
  std::unique_ptr<mdi::LinuxDriveTable> table;
  mdi::ForwardingDriveTable drives;
  // Every service the window works through is made here.
  mdi::QtMessageBox msg;
  mdi::QtPickers pickers;
  mdi::QtLauncher launcher;
  mdi::HostServices host;
  mdi::FrmMainDeps deps;
  deps.msg = &msg;
  deps.pickers = &pickers;
  deps.launcher = &launcher;
  deps.drives = &drives;
  host.lendTo(deps);
  deps.quit = [] { std::exit(0); };
  deps.openDocument = [](const std::string& p) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(p)));
  };
  // The window looks for its manual in this folder.
  deps.programFolder = mdi::manualFolder(programFolder, MDI_MANUAL_FROM_PROGRAM, [&](const std::string& p) {
    return host.fileSystem.kind(p) == mdi::PathKind::Regular;
  });
  deps.systemPaths = {"/", programFolder};
  mdi::UdevMonitor monitor;
  deps.deviceMonitor = &monitor;
  // Discovery reads aside (the first half of each), and the grid and the
  // table change on the window's thread (the second).
  deps.listDrives = [&](const std::vector<std::string>& systemPaths) -> mdi::FrmMainDeps::FillDrives {
    auto listing = std::make_shared<mdi::DriveListing>(mdi::GatherDrives(enumerator, systemPaths));
    return [&, listing](mdi::FormState& form, const mdi::Separators& sep) {
      table =
          std::make_unique<mdi::LinuxDriveTable>(enumerator, mdi::ShowDrives(form, std::move(*listing), sep), &opener);
      drives.to = table.get();
    };
  };
  deps.rescanDrives = [&]() -> mdi::FrmMainDeps::ApplyDriveChanges {
    auto now = std::make_shared<std::vector<mdi::DriveRecord>>(enumerator.drives());
    return [&, now] { return table ? table->rescan(std::move(*now)) : mdi::DriveChanges{}; };
  };
  mdi::frmMain w(std::move(deps));
  // Boxes and dialogs open over the window, which exists only now.
  msg.setWindow(&w);
  pickers.setWindow(&w);
  w.startUp();
  return app.exec();
}
