#include "app/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <stdexcept>
#include <utility>

#include "app/ElidingLabel.h"
#include "app/GridView.h"
#include "app/QtControls.h"
#include "app/frmABout.h"
#include "discovery/DriveTip.h"
#include "discovery/FormatSize.h"
#include "discovery/ListDrives.h"
#include "jobs/JobList.h"
#include "jobs/TargetFolder.h"
#include "support/Val.h"

namespace mdi {

namespace {
// Positions are kept in twips as designed; 15 twips make one pixel.
QRect twips(int l, int t, int w, int h) { return QRect(l / 15, t / 15, w / 15, h / 15); }

// The window cannot do without any of its services: one missing is a
// wiring error, reported before the window is built rather than at its
// first use.
FrmMainDeps checked(FrmMainDeps d) {
  const std::pair<bool, const char*> required[] = {{d.msg != nullptr, "msg"},
                                                   {d.pickers != nullptr, "pickers"},
                                                   {d.launcher != nullptr, "launcher"},
                                                   {d.drives != nullptr, "drives"},
                                                   {d.io != nullptr, "io"},
                                                   {d.fs != nullptr, "fs"},
                                                   {d.files != nullptr, "files"},
                                                   {d.records != nullptr, "records"},
                                                   {d.system != nullptr, "system"},
                                                   {d.clock != nullptr, "clock"},
                                                   {d.pump != nullptr, "pump"},
                                                   {d.locale != nullptr, "locale"},
                                                   {bool(d.quit), "quit"},
                                                   {bool(d.openDocument), "openDocument"}};
  for (const auto& [present, name] : required)
    if (!present) throw std::invalid_argument(std::string("frmMain: no ") + name + " handed in");
  return d;
}

template <class W>
W* place(QWidget* parent, const char* name, const QString& text, QRect r) {
  W* w = new W(text, parent);
  w->setObjectName(name);
  w->setGeometry(r);
  return w;
}
}  // namespace

frmMain::frmMain(FrmMainDeps deps, QWidget* parent) : QMainWindow(parent), m_deps(checked(std::move(deps))) {
  setWindowTitle("Vantor - Multi Drive Imaging With sector Mutate");
  buildWidgets();
  buildMenus();
  const FrmMainDeps& d = m_deps;
  m_controls = std::make_unique<QtControls>(this, m_timer, m_panel1, m_panel2, m_mnuHelp, m_mnuSetTarget);
  m_sv = std::make_unique<Services>(Services{*m_controls, *d.msg, *d.pickers, *d.fs, *d.files, *d.drives, *d.clock,
                                             *d.pump, *d.launcher, *d.locale, *d.io, *d.records, *d.system});
  m_progress = std::make_unique<Progress>(m_form, *m_controls, m_sv->clock, m_sv->locale);
  m_run = std::make_unique<RunController>(m_form, *m_sv, *m_progress);
  m_editor = std::make_unique<JobEditor>(
      m_form, *m_sv, [this](const std::string& b) { return FormatSize(b, m_sv->locale.separators()); },
      [this](const DriveRecord& d) {
        AddListedDriveRow(m_form.iGrid1, d, m_form.SystemDisks, m_sv->locale.separators());
      });
  connectHandlers();
  m_grid1->setCellTip(driveTipOf(m_form.iGrid1));
  m_grid2->setCellTip(driveTipOf(m_form.iGrid2));
}

std::function<std::string(int, int)> frmMain::driveTipOf(const GridModel& grid) {
  return [this, &grid](int row, int) -> std::string {
    const std::string id = grid.value(row, 1);
    if (id.empty() || id == kFileId) return {};
    const std::optional<DriveRecord> r = m_deps.drives->listedRecord(static_cast<int>(Val(id)));
    return r ? driveTip(*r, m_sv->locale.separators()) : std::string();
  };
}

frmMain::~frmMain() {
  // Destroying the widgets moves the focus; the window is no longer whole
  // enough to hear of it.
  disconnect(qApp, &QApplication::focusChanged, this, nullptr);
  // The views stop listening before the grids they draw go away.
  delete m_grid1;
  delete m_grid2;
}

Controls& frmMain::controls() { return *m_controls; }

void frmMain::buildWidgets() {
  auto* c = new QWidget(this);
  setCentralWidget(c);
  c->setFixedSize(11760 / 15, 7440 / 15);
  // The layout is measured for a compact 8-point face; a larger desktop
  // default would clip the captions.
  QFont small = c->font();
  small.setPointSizeF(7.5);
  c->setFont(small);

  auto* f1 = place<QGroupBox>(c, "Frame1", "Source Drives", twips(120, 120, 6615, 3615));
  m_grid1 = new GridView(m_form.iGrid1, f1);
  m_grid1->setObjectName("iGrid1");
  m_grid1->setGeometry(twips(180, 360, 6315, 2775));
  place<QPushButton>(f1, "Command4", "Add Image File(s)", twips(180, 3180, 1455, 375));
  // Columns fit the frame at the designed size: ID, Size and the sector
  // columns as wide as their texts, the long texts (model, file name) take
  // the rest and are elided in the middle with the full text as tip.
  m_grid1->setColumnFit({1, 3, 6, 7, 8}, 2);

  auto* f3 = place<QGroupBox>(c, "Frame3", "Target", twips(6780, 180, 4815, 1755));
  place<QPushButton>(f3, "Command1", "Set Target", twips(300, 240, 1395, 555));
  place<QPushButton>(f3, "Command2", "Run", twips(300, 840, 1395, 555));
  auto* l2 = place<ElidingLabel>(f3, "Label2", "", twips(180, 1440, 4500, 195));
  l2->setMinimumWidth(l2->width());
  place<QLabel>(f3, "Label1", "Input value", twips(3060 - 300, 300, 1095, 195))->setAlignment(Qt::AlignRight);
  auto* t1 = new QLineEdit("512", f3);
  t1->setObjectName("Text1");
  t1->setGeometry(twips(3900, 240, 735, 285));
  place<QLabel>(f3, "Label10", "Output value", twips(2940 - 200, 600, 1115, 195))->setAlignment(Qt::AlignRight);
  auto* t2 = new QLineEdit("512", f3);
  t2->setObjectName("Text2");
  t2->setGeometry(twips(3900, 540, 735, 285));
  auto* c2 = place<QCheckBox>(f3, "Check2", "Use Sector Mutate", twips(2820, 900, 1815, 255));
  c2->setToolTip("Allows you to change sector size for example from 520 bytes per sector to 512 bytes per sectior");
  place<QCheckBox>(f3, "Check4", "Force Read", twips(2820, 1140, 1815, 255));
  t1->setEnabled(false);
  t2->setEnabled(false);

  auto* f2 = place<QGroupBox>(c, "Frame2", "Details", twips(6780, 1920, 4875, 1875));
  auto* bar = new QProgressBar(f2);
  bar->setObjectName("ProgBarXP1");
  bar->setGeometry(twips(60, 300, 4695, 255));
  bar->setTextVisible(false);
  bar->hide();
  place<QCheckBox>(f2, "Check3", "Show Progress (Slower)", twips(2640, 660, 2115, 255));
  place<QLabel>(f2, "Label4", "Current:", twips(750, 660, 700, 195));
  place<QLabel>(f2, "Label5", "0", twips(1500, 660, 1100, 195));
  place<QLabel>(f2, "Label8", "Speed (Mb/M)", twips(270, 960, 1200, 195));
  place<QLabel>(f2, "Label9", "0", twips(1500, 975, 1100, 195));
  place<QLabel>(f2, "Label13", "Time Elapsed", twips(345, 1275, 1150, 195));
  place<QLabel>(f2, "Label12", "0:00:00", twips(1500, 1275, 1100, 195))->setToolTip("DD:HH:MM:SS");
  place<QLabel>(f2, "Label6", "Time Remaining:", twips(120, 1575, 1380, 195));
  place<QLabel>(f2, "Label7", "0:00:00", twips(1500, 1575, 1100, 195))->setToolTip("DD:HH:MM:SS");

  auto* f4 = place<QGroupBox>(c, "Frame4", "Selected Drives", twips(180, 3840, 11475, 2955));
  m_grid2 = new GridView(m_form.iGrid2, f4);
  m_grid2->setObjectName("iGrid2");
  m_grid2->setGeometry(twips(180, 240, 11175, 2295));
  m_grid2->setColumnFit({1, 3, 8, 9, 10}, 6);
  place<QLabel>(f4, "Label3", "", twips(180, 2580, 6000, 195));
  place<QCheckBox>(f4, "Check1", "Turn off computer on completion", twips(7620, 2640, 2955, 255));

  auto* stop = place<QPushButton>(c, "XPButton1", "Stop", twips(10260, 6840, 1395, 555));
  stop->setEnabled(false);
  place<QPushButton>(c, "Command6", "Abort Shutdown", twips(8340, 6840, 1815, 495))->hide();
  place<QPushButton>(c, "Command3", "Command3", twips(4800, 7020, 375, 315))->hide();
  auto* alert = place<QLabel>(c, "AlertBox1", "", twips(3420, 2880, 4935, 1410));
  alert->setAlignment(Qt::AlignCenter);
  alert->setWordWrap(true);
  alert->setFrameShape(QFrame::Box);
  alert->setAutoFillBackground(true);
  alert->setStyleSheet("background: #ffffe1; border: 1px solid #808080;");
  alert->hide();

  m_timer = new QTimer(this);
  m_timer->setObjectName("Timer1");
  m_timer->setInterval(1000);
  m_panel1 = new QLabel(this);
  m_panel1->setObjectName("StatusBar1Panel1");
  m_panel2 = new QLabel(this);
  m_panel2->setObjectName("StatusBar1Panel2");
  statusBar()->setObjectName("StatusBar1");
  statusBar()->addWidget(m_panel1, 1);
  statusBar()->addPermanentWidget(m_panel2);
}

void frmMain::buildMenus() {
  QMenu* file = menuBar()->addMenu("File");
  file->setObjectName("mnuFile");
  m_mnuHelp = file->addAction("Help", this, &frmMain::mnuHelpClick);
  m_mnuHelp->setObjectName("mnuHelp");
  QAction* about = file->addAction("About", this, &frmMain::mnuAboutClick);
  about->setObjectName("mnuAbout");
  file->addSeparator()->setObjectName("mnuB1");
  QAction* exitAct = file->addAction("Exit", this, &frmMain::mnuExitClick);
  exitAct->setObjectName("mnuExit");
  buildOptionsMenu();
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(f1, &QShortcut::activated, this, [this] {
    if (m_mnuHelp->isEnabled()) mnuHelpClick();
  });

  // Pop-up menus of the job grid, never in the menu bar.
  m_mnuNew = new QMenu("New Menu", this);
  m_mnuNew->setObjectName("mnuNew");
  m_mnuSetTarget =
      m_mnuNew->addAction("Set Target for this drive...", this, [this] { m_editor->SetTargetForThisJob(); });
  m_mnuSetTarget->setObjectName("mnuSetTarget");
  m_mnuNew->addAction("Change File Name", this, [this] { m_editor->ChangeFileName(); })->setObjectName("mnuCFN");
  m_mnuSectors = new QMenu("Sectors", this);
  m_mnuSectors->setObjectName("mnuSectors");
  for (int size : {512, 520, 522, 524, 528}) {
    QAction* a = m_mnuSectors->addAction(QString::number(size), this, [this, size] { m_editor->SectorMenu(size); });
    a->setObjectName(QString("mnu%1").arg(size));
  }
}

void frmMain::connectHandlers() {
  auto button = [this](const char* name) { return findChild<QPushButton*>(name); };
  auto check = [this](const char* name) { return findChild<QCheckBox*>(name); };
  connect(button("Command1"), &QPushButton::clicked, this, [this] { SetTarget(m_form, *m_sv); });
  connect(button("Command2"), &QPushButton::clicked, this, [this] { m_run->RunClicked(); });
  connect(button("XPButton1"), &QPushButton::clicked, this, [this] { m_run->StopClicked(); });
  connect(button("Command6"), &QPushButton::clicked, this, [this] { m_run->AbortShutdownClicked(); });
  connect(button("Command3"), &QPushButton::clicked, this, [this] { m_run->ShutdownComputer(); });
  connect(button("Command4"), &QPushButton::clicked, this, [this] { m_editor->AddImageFiles(); });
  // `toggled`, not `clicked`: a screen reader's or switch-access tool's
  // toggle action changes the box without a click, and must act the same.
  // The program itself never sets these two boxes.
  connect(check("Check2"), &QCheckBox::toggled, this, [this] { m_editor->Check2Click(); });
  connect(check("Check3"), &QCheckBox::toggled, this, [this] { m_progress->Check3Click(); });
  connect(findChild<QLineEdit*>("Text2"), &QLineEdit::textChanged, this, [this] { m_editor->Text2Change(); });
  connect(qApp, &QApplication::focusChanged, this, &frmMain::focusMoved);
  connect(m_timer, &QTimer::timeout, this, [this] { m_progress->Timer1Tick(); });
  connect(m_grid1, &GridView::cellDoubleClickedAt, this, [this](int, int) { m_editor->AddDriveToJobList(); });
  connect(m_grid2, &GridView::cellDoubleClickedAt, this, [this](int r, int c) { m_editor->JobGridDoubleClick(r, c); });
  connect(m_grid2, &GridView::editEndedAt, this, [this](int, int) { m_editor->EditOff(); });
  connect(m_grid2, &GridView::cellEnteredAt, this, [this](int r, int c) { m_editor->JobGridCellEnter(r, c); });
  connect(m_grid2, &GridView::mousePressedAt, this, [this](Qt::MouseButton b, int r, int c) {
    const MouseButton mb = b == Qt::RightButton    ? MouseButton::Right
                           : b == Qt::MiddleButton ? MouseButton::Middle
                                                   : MouseButton::Left;
    switch (m_editor->JobGridMouseDown(mb, r, c)) {
      case PopupMenu::mnuNew:
        m_mnuNew->popup(QCursor::pos());
        break;
      case PopupMenu::mnuSectors:
        m_mnuSectors->popup(QCursor::pos());
        break;
      case PopupMenu::None:
        break;
    }
  });
}

void frmMain::startUp() {
  Controls& ui = *m_controls;
  ui.setEnabled(Ctl::Command2, false);
  m_form.HelpFile = m_deps.programFolder + "/Pellamy.html";
  m_form.ProgramVersion = std::to_string(MDI_VERSION_MAJOR) + "." + std::to_string(MDI_VERSION_MINOR) + "." +
                          std::to_string(MDI_VERSION_PATCH);
  ui.setText(Ctl::Label3, "");
  ui.setText(Ctl::Label2, "No target selected");
  m_form.SystemLetters = m_deps.systemPaths;
  if (m_sv->fs.kind(m_form.HelpFile) == PathKind::Regular) {
    ui.setEnabled(Ctl::mnuHelp, true);
    ui.setText(Ctl::mnuHelp, "Help");
  } else {
    ui.setEnabled(Ctl::mnuHelp, false);
    ui.setText(Ctl::mnuHelp, "No Help Available");
  }
  setUpJobGrid(m_form.iGrid2);
  setUpDriveGrid(m_form.iGrid1);
  ui.setEnabled(Ctl::Command2, false);
  ui.setStatusText(1, "Searching for drives ...");
  show();
  ui.setText(Ctl::AlertBox1, "Searching for attached drives.. Please wait.");
  ui.setVisible(Ctl::AlertBox1, true);
  paintBeforeDiscovery();
  ui.setStatusText(2, "V " + std::to_string(MDI_VERSION_MAJOR) + "." + std::to_string(MDI_VERSION_MINOR) + "." +
                          std::to_string(MDI_VERSION_PATCH));
  ui.setBusyCursor(true);
  listDrivesAside();
}

void frmMain::mnuExitClick() {
  if (m_sv->msg.show({"Exit the program, are you sure?", "Exit?", MsgIcon::Question, MsgButtons::YesNo, false}) !=
      MsgAnswer::Yes)
    return;
  // Whatever the run had open is synced and closed before the program ends.
  m_run->closeAllFiles();
  m_deps.quit();
}

void frmMain::mnuHelpClick() { m_deps.openDocument(m_form.HelpFile); }

void frmMain::mnuAboutClick() {
  frmABout about(this);
  about.exec();
}

void frmMain::closeEvent(QCloseEvent* e) {
  if (!m_controls->closeAllowed()) {
    e->ignore();
    return;
  }
  QMainWindow::closeEvent(e);
}

void frmMain::focusMoved(QWidget* from, QWidget* to) {
  // A box is left only when another control of this window takes the focus.
  // A menu opening, another window or the window losing activation also
  // take the focus away, and must not untick Force Read or rewrite the jobs.
  if (!from || !to || from == to || to->window() != this) return;
  if (qobject_cast<QMenuBar*>(to) || qobject_cast<QMenu*>(to)) return;
  if (from->objectName() == "Text1") m_editor->Text1LostFocus();
  else if (from->objectName() == "Text2") m_editor->Text2LostFocus();
}

}  // namespace mdi
