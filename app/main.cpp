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
#include "platform/dbus/UdisksBroker.h"
#include "platform/linux/DeviceOpener.h"
#include "platform/linux/LinuxDriveEnumerator.h"
#include "platform/linux/UdevMonitor.h"

namespace {

// The drive table exists once discovery has run; until then it knows no drive.
class LateDriveTable final : public mdi::DriveTable {
 public:
  std::unique_ptr<mdi::LinuxDriveTable> table;
  std::optional<mdi::DriveIdentity> drive(int n) const override { return table ? table->drive(n) : std::nullopt; }
  std::string checkUnchanged(int n) const override {
    return table ? table->checkUnchanged(n) : "the drives have not been listed yet";
  }
  void beginRun() override {
    if (table) table->beginRun();
  }
  std::unique_ptr<mdi::Source> openSource(int n) override {
    return table ? table->openSource(n)
                 : std::make_unique<mdi::FailedSource>(ENODEV, "the drives have not been listed yet");
  }
  std::optional<std::uint64_t> deviceNumber(int n) const override {
    return table ? table->deviceNumber(n) : std::nullopt;
  }
  std::vector<int> drivesUnder(const std::string& p) const override {
    return table ? table->drivesUnder(p) : std::vector<int>{};
  }
  std::optional<mdi::DriveRecord> listedRecord(int n) const override {
    return table ? table->listedRecord(n) : std::nullopt;
  }
  bool isAttached(int n) const override { return table && table->isAttached(n); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
  mdi::LinuxDriveEnumerator enumerator;
  // Drives the user may not open are opened through udisks2, which asks
  // for a password when a run first needs one.
  mdi::UdisksBroker udisks;
  mdi::DeviceOpener opener(&udisks);
  LateDriveTable drives;
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
  deps.rescanDrives = [&] { return drives.table ? drives.table->rescan() : mdi::DriveChanges{}; };
  // The grid and the drive table a run opens from hold the records of one
  // enumeration, with what discovery noted on them.
  deps.listDrives = [&](mdi::FormState& form, const mdi::Separators& sep) {
    drives.table = std::make_unique<mdi::LinuxDriveTable>(enumerator, mdi::ListDrives(form, enumerator, sep), &opener);
  };
  mdi::frmMain w(std::move(deps));
  // Boxes and dialogs open over the window, which exists only now.
  msg.setWindow(&w);
  pickers.setWindow(&w);
  w.startUp();
  return app.exec();
}
