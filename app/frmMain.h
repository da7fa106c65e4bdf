#pragma once
// The main window. Widgets carry the control names the core uses; every
// handler forwards to the plain C++ objects that hold the logic.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "discovery/DriveChanges.h"
#include "jobs/FormState.h"
#include "jobs/JobEditor.h"
#include "platform/DeviceMonitor.h"
#include "platform/Services.h"
#include "progress/Progress.h"
#include "run/RunController.h"

class QLabel;
class QTimer;
class QMenu;
class QAction;

namespace mdi {

class QtControls;
class GridView;

// What the window is given instead of looking it up or making it: every
// service it works through, so main() wires the real ones and tests hand in
// fakes. All are required.
struct FrmMainDeps {
  MessageBox* msg = nullptr;
  Pickers* pickers = nullptr;
  Launcher* launcher = nullptr;
  DriveTable* drives = nullptr;
  CycleIoFactory* io = nullptr;
  FileSystem* fs = nullptr;
  FileAccess* files = nullptr;
  AtomicFile* records = nullptr;  // the files written beside each image
  SystemInfo* system = nullptr;
  Clock* clock = nullptr;
  EventPump* pump = nullptr;
  LocaleInfo* locale = nullptr;
  // Drive discovery, in two halves. The first runs off the window's thread,
  // since it reads sysfs, udev and the drives themselves, any of which may
  // wait on a drive; it is given the folders whose disks hold the system,
  // and gives back the second, which fills the drive grid on the window's
  // thread. May be empty in tests.
  using FillDrives = std::function<void(FormState&, const Separators&)>;
  std::function<FillDrives(const std::vector<std::string>& systemPaths)> listDrives;
  std::string programFolder;  // where the manual is looked for
  // Folders whose disks hold the running system: the drives under them are
  // marked in the drive grid.
  std::vector<std::string> systemPaths;
  std::function<void()> quit;                            // ends the process at once
  std::function<void(const std::string&)> openDocument;  // shows the manual
  // The live drive list: events of attached/detached disks (may be null),
  // and the rescan that brings the drive table up to date (may be empty),
  // in two halves as listDrives: the drives as they are now, gathered off
  // the window's thread, then their changes applied on it.
  DeviceMonitor* deviceMonitor = nullptr;
  using ApplyDriveChanges = std::function<DriveChanges()>;
  std::function<ApplyDriveChanges()> rescanDrives;
};

class frmMain final : public QMainWindow {
  Q_OBJECT
 public:
  explicit frmMain(FrmMainDeps deps, QWidget* parent = nullptr);
  ~frmMain() override;

  // Builds the grids, shows the window and starts listing the drives,
  // which goes on aside while the window has its events.
  void startUp();

  FormState& form() { return m_form; }
  RunController& runController() { return *m_run; }
  JobEditor& jobEditor() { return *m_editor; }
  Controls& controls();

  // Brings the drive grid up to the attached drives (F5, device events);
  // during a run it waits for the run to end.
  void rescanDrives();
  // Attaching one device brings several events; one rescan follows them.
  static constexpr int kSettleMs = 300;
  static constexpr int kRunPollMs = 1000;

  void mnuExitClick();
  void mnuHelpClick();
  void mnuAboutClick();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void buildWidgets();
  void buildMenus();
  // "Options", after "File": what each image gets beside it.
  void buildOptionsMenu();
  // Its "Sector layout" submenu: one layout checked at a time.
  void buildLayoutMenu(QMenu& options);
  void buildRetryMenu(QMenu& options);
  void connectHandlers();
  void focusMoved(QWidget* from, QWidget* to);
  // The tip of a grid row that names a drive: its node, serial and sizes.
  std::function<std::string(int, int)> driveTipOf(const GridModel& grid);
  // Shows the start-up notice on screen at once, before the first drive is
  // asked anything.
  void paintBeforeDiscovery();
  static constexpr int kExposeWaitMs = 3000;
  // Lists the drives aside; drivesFound goes on once they are.
  void listDrivesAside();
  void drivesFound(const FrmMainDeps::FillDrives& fill);
  void watchDevices();
  // A rescan is out; another was asked for meanwhile.
  bool m_rescanOut = false;
  bool m_rescanAgain = false;

  FrmMainDeps m_deps;
  FormState m_form;
  std::unique_ptr<QtControls> m_controls;
  std::unique_ptr<Services> m_sv;
  std::unique_ptr<Progress> m_progress;
  std::unique_ptr<RunController> m_run;
  std::unique_ptr<JobEditor> m_editor;

  QTimer* m_timer = nullptr;
  QTimer* m_rescanTimer = nullptr;
  QLabel* m_panel1 = nullptr;
  QLabel* m_panel2 = nullptr;
  QAction* m_mnuHelp = nullptr;
  QAction* m_mnuSetTarget = nullptr;
  QMenu* m_mnuNew = nullptr;
  QMenu* m_mnuSectors = nullptr;
  GridView* m_grid1 = nullptr;
  GridView* m_grid2 = nullptr;
};

}  // namespace mdi
