// Job-list editing and sector settings over the window state, with fakes
// for every box, picker and control.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "discovery/ListDrives.h"
#include "jobs/JobEditor.h"
#include "jobs/JobList.h"
#include "jobs/TargetFolder.h"
#include "platform/LaneCycleIo.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/TestDir.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/Fakes.h"
#include "tests/fakes/ForwardingFileSystem.h"
#include "tests/fakes/LoopDevice.h"

#include <sys/stat.h>

#include <future>
#include <tuple>

namespace mdi {
namespace {

namespace fs = std::filesystem;

TEST(DefaultOutputName, PadsToThreeDigitsAndAddsOneSlash) {
  EXPECT_EQ(defaultOutputName(12, "/"), "/012.bin");
  EXPECT_EQ(defaultOutputName(1000, "/out"), "/out/1000.bin");
}

// The real file system, but asking what lies at `held` waits until it is
// released, as a path on a drive or share that does not answer (at most
// 5 s, so that a window that waits for it fails the test, not hangs it).
class HeldFs final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  PathKind kind(const std::string& p) const override {
    if (p == held) released.wait_for(std::chrono::seconds(5));
    return m_real.kind(p);
  }
  std::string held;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
};

class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    form.iGrid2.addRow();  // a row left over: setting up the job grid clears it
    setUpJobGrid(form.iGrid2);
    form.iGrid1.setColumnCount(8);
    ui.setText(Ctl::Text1, "512");
    ui.setText(Ctl::Text2, "512");
  }
  int addDrive(int number, const std::string& model, int bps) {
    const int r = form.iGrid1.addRow();
    form.iGrid1.setValue(r, 1, std::int64_t{number});
    form.iGrid1.setValue(r, 2, model);
    form.iGrid1.setValue(r, 3, "1.0 Gb");
    form.iGrid1.setValue(r, 4, "pnp");
    form.iGrid1.setValue(r, 5, "1073741824");
    form.iGrid1.setValue(r, 6, std::int64_t{bps});
    return r;
  }
  void moveDrive(int row) {
    form.iGrid1.setCurrentRow(row);
    ed.AddDriveToJobList();
  }

  const ScratchDir scratch{"mdi-edit-"};
  const fs::path& dir = scratch.path;
  FormState form;
  FakeControls ui;
  FakeMessageBox msg;
  FakePickers pickers;
  PosixFileSystem realFs;
  HeldFs fsys{realFs};
  PosixFileAccess files;
  FakeDriveTable drives{files};
  FakeClock clock;
  FakeEventPump pump;
  FakeLauncher launcher;
  FakeLocale locale;
  SyncCycleIoFactory io;
  PosixAtomicFile records;
  FakeSystemInfo system;
  Services sv{ui, msg, pickers, fsys, files, drives, clock, pump, launcher, locale, io, records, system};
  JobEditor ed{
      form, sv, [](const std::string& b) { return b + " bytes"; },
      [this](const DriveRecord& d) { AddListedDriveRow(form.iGrid1, d, form.SystemDisks, locale.separators()); }};
};

// Which cells of a job row do what, by column as the grid heads it: which
// are shown, which a double-click edits in place (any other cell removes
// the job, asked first) and which pop-up menu a right-click opens. Whatever
// the button, the cell is remembered for the sector menu.
struct JobColumn {
  const char* header;
  bool shown;
  bool edited;
  PopupMenu rightClick;
};
constexpr PopupMenu kNoMenu = PopupMenu::None;
const JobColumn kJobColumns[JobCol::Count] = {{"ID", true, false, kNoMenu},
                                              {"Model", true, false, kNoMenu},
                                              {"Size", true, false, kNoMenu},
                                              {"Size", false, false, kNoMenu},
                                              {"Size I", false, false, kNoMenu},
                                              {"File Name", true, true, PopupMenu::mnuNew},
                                              {"Status", true, false, kNoMenu},
                                              {"Sector In", false, true, PopupMenu::mnuSectors},
                                              {"Sector Out", false, true, PopupMenu::mnuSectors},
                                              {"BPS", true, false, kNoMenu}};

TEST_F(Editor, EachJobColumnAnswersTheMouseAsItsRowSays) {
  struct : GridListener {
    void editRequested(int, int col) override { edited = col; }
    int edited = 0;
  } edits;
  form.run.TargetFolder = "/out";
  moveDrive(addDrive(0, "A", 512));
  ASSERT_EQ(form.iGrid2.columnCount(), JobCol::Count);
  form.iGrid2.setListener(&edits);
  msg.answer("Remove Entry?", MsgAnswer::No);
  ed.JobGridDoubleClick(0, JobCol::Model);
  EXPECT_TRUE(msg.shown.empty()) << "the header row";
  for (int col = 1; col <= JobCol::Count; ++col) {
    const JobColumn& c = kJobColumns[col - 1];
    SCOPED_TRACE(c.header);
    EXPECT_EQ(std::pair(form.iGrid2.header(col), form.iGrid2.isColumnVisible(col)),
              std::pair(std::string(c.header), c.shown));
    edits.edited = 0;
    msg.shown.clear();
    ed.JobGridDoubleClick(1, col);
    EXPECT_EQ(std::pair(edits.edited, msg.count("Remove Entry?")), std::pair(c.edited ? col : 0, c.edited ? 0 : 1));
    EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Right, 1, col), c.rightClick);
    EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Left, 1, col), PopupMenu::None);
    EXPECT_EQ(std::pair(form.ClickedRow, form.ClickedCol), std::pair(1, col));
  }
  form.iGrid2.setListener(nullptr);
  EXPECT_EQ(form.iGrid2.rowCount(), 1);
}

// Where images go. Without a target, adding a drive offers to choose one:
// No leaves everything as it was; Yes with the picker cancelled names the
// job without a folder, and the target chosen later takes it in, but not a
// name given a folder of its own. A folder that cannot be made is no
// target; a missing one is made, parents and all. A right-clicked job gets
// a folder of its own and keeps its name: the row right-clicked is the one
// the menu names and the one it changes.
TEST_F(Editor, TargetFolderAndOutputNames) {
  const int r = addDrive(0, "A", 512);
  msg.answerOnce("No Target", MsgAnswer::No);
  moveDrive(r);
  EXPECT_EQ(msg.shown[0].text, "Select target folder now?");
  EXPECT_EQ(std::tuple(form.iGrid2.rowCount(), form.iGrid1.rowCount(), pickers.folderTitles.size()),
            std::tuple(0, 1, 0u));
  moveDrive(r);
  moveDrive(addDrive(1, "B", 512));
  EXPECT_EQ(std::pair(form.iGrid2.value(1, JobCol::FileName), ui.text(Ctl::Label2)),
            std::pair(std::string("001.bin"), std::string("No target selected")));
  form.iGrid2.setValue(2, JobCol::FileName, "/own/b.bin");

  std::ofstream(dir / "plain") << "x";
  const fs::path target = dir / "new" / "deeper";
  pickers.folders = {(dir / "plain" / "sub").string(), target.string(), dir.string()};
  SetTarget(form, sv);
  ASSERT_EQ(msg.count("Error"), 1);
  EXPECT_NE(msg.shown.back().text.find("Unable to create the folder"), std::string::npos);
  EXPECT_EQ(std::tuple(form.run.TargetFolder, ui.text(Ctl::Label2)), std::tuple("", "No target selected"));
  ui.setEnabled(Ctl::Command2, false);
  SetTarget(form, sv);
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(std::pair(ui.text(Ctl::Label2), ui.isEnabled(Ctl::Command2)), std::pair(target.string(), true));
  std::vector<std::string> job;
  for (int c = 1; c <= JobCol::Count; ++c) job.push_back(form.iGrid2.value(1, c));
  EXPECT_EQ(job, (std::vector<std::string>{"0", "A", "1.0 Gb", "pnp", "1073741824", target / "001.bin", "", "512",
                                           "512", "512"}));

  EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Right, 2, JobCol::FileName), PopupMenu::mnuNew);
  EXPECT_EQ(ui.text(Ctl::mnuSetTarget), "Set target folder for : B");
  ed.SetTargetForThisJob();
  EXPECT_EQ(std::tuple(form.iGrid2.value(1, JobCol::FileName), form.iGrid2.value(2, JobCol::FileName)),
            std::tuple((target / "001.bin").string(), (dir / "b.bin").string()));
}

// Everything the drive grid shows of a row: its cells and their colours.
std::vector<std::string> shownRow(const GridModel& g, int row) {
  std::vector<std::string> cells;
  for (int c = 1; c <= g.columnCount(); ++c)
    cells.push_back(g.value(row, c) + " " + std::to_string(g.backColor(row, c)) + "/" +
                    std::to_string(g.foreColor(row, c)));
  return cells;
}

// Adding a drive that holds the system asks first, by model and size.
// Removing a job asks by name; Yes brings the drive back exactly as the
// drive list shows it: still red when it holds the system (the red is what
// the question above is asked on), and with its sector size, which the job
// takes for Run's advice. A
// drive detached meanwhile does not come back. An image file comes back as
// it was added, a block device with its sector size.
TEST_F(Editor, RemovingAJobBringsItsSourceBackAsListed) {
  form.run.TargetFolder = "/out";
  drives.add(0, {{"/dev/sys0", 1 << 20, "wwn-sys"}, "/dev/null", 1, ""});
  drives.describe(0, {"Sys Disk", "S0", 520});
  drives.add(3, {{"/dev/gone3", 1 << 20, "wwn-gone"}, "/dev/null", 2, ""});
  form.SystemDisks = "/dev/other,/dev/sys0,";
  for (int n : {0, 3}) AddListedDriveRow(form.iGrid1, *drives.listedRecord(n), form.SystemDisks, locale.separators());
  const int file = form.iGrid1.addRow();
  for (auto [c, v] : {std::pair{1, "File"}, {2, "/dev/sdz1"}, {3, "4 KB"}, {5, "4096"}, {6, "4096"}})
    form.iGrid1.setValue(file, c, v);
  const auto listed = shownRow(form.iGrid1, 1);
  const auto added = shownRow(form.iGrid1, file);
  msg.answerOnce("System Drive", MsgAnswer::No);
  moveDrive(1);
  EXPECT_EQ(form.iGrid2.rowCount(), 0) << "answered No";
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, "Drive [SYS DISK - 1,024.0 Kb] is a system drive are you sure you want to image it?.");
  for (int i = 0; i < 3; ++i) moveDrive(1);
  ASSERT_EQ(form.iGrid2.rowCount(), 3);

  msg.answer("Remove Entry?", MsgAnswer::Yes);
  drives.unplug(3);
  for (int row = 3; row >= 1; --row) ed.JobGridDoubleClick(row, 2);
  EXPECT_EQ(msg.shown.back().text, "Remove SYS DISK? Are you sure?");
  EXPECT_EQ(std::pair(form.iGrid2.rowCount(), ui.isEnabled(Ctl::Command2)), std::pair(0, false));
  ASSERT_EQ(form.iGrid1.rowCount(), 2) << "the detached drive stays off the list";
  EXPECT_EQ(shownRow(form.iGrid1, 1), listed);
  EXPECT_EQ(shownRow(form.iGrid1, 2), added);
}

// Image files are listed with their sizes, and what is neither an image
// file nor a block device is refused with its path. What lies at each
// chosen path is asked aside: the window has its events while a path does
// not answer, and Add Image File(s) cannot be pressed again meanwhile.
// Before any image was added, the picker opens in the home folder the
// system reports (Window.RunThroughTheButtonsAndMenus), or at the root when
// it reports none; then in the folder of the last image added.
TEST_F(Editor, ImageFilesAreExaminedAsideAndListedWithTheirSizes) {
  system.home = "";
  std::ofstream(dir / "one.img") << std::string(1000, 'x');
  std::ofstream(dir / "two.img") << std::string(10, 'y');
  ::mkfifo((dir / "fifo").c_str(), 0600);
  fsys.held = (dir / "one.img").string();
  pickers.files = {{fsys.held, dir.string(), (dir / "fifo").string(), "/dev/null", (dir / "gone.img").string(),
                    (dir / "two.img").string()}};
  int waits = 0;
  bool buttonOff = false;
  pump.whileWaiting([&] {
    buttonOff = buttonOff || !ui.isEnabled(Ctl::Command4);
    if (++waits == 3) fsys.release.set_value();
  });
  ed.AddImageFiles();
  EXPECT_EQ(std::tuple(waits >= 3, buttonOff, ui.isEnabled(Ctl::Command4)), std::tuple(true, true, true));
  ASSERT_EQ(form.iGrid1.rowCount(), 2);
  std::vector<std::string> row;
  for (int c = 1; c <= 8; ++c) row.push_back(form.iGrid1.value(1, c));
  EXPECT_EQ(row, (std::vector<std::string>{"File", fsys.held, "1000 bytes", "", "1000", "", "", ""}));
  EXPECT_EQ(form.iGrid1.value(2, 2), (dir / "two.img").string());
  const std::string notImage = " is not an image file or a block device, so it cannot be imaged.";
  std::vector<std::string> refused;
  for (const Message& m : msg.shown) refused.push_back(m.text);
  EXPECT_EQ(refused, (std::vector<std::string>{dir.string() + notImage, (dir / "fifo").string() + notImage,
                                               "/dev/null" + notImage,
                                               "The file " + (dir / "gone.img").string() + " does not exist."}));
  EXPECT_EQ(form.LastImageFolder, dir.string() + "/");
  ed.AddImageFiles();
  EXPECT_EQ(pickers.fileStartFolders, (std::vector<std::string>{"/", dir.string() + "/"}));
}

TEST_F(Editor, BlockDeviceIsListedWithItsRealSizeAndSectorSize) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  std::ofstream(dir / "disk.img") << std::string(1 << 20, '\0');
  const LoopDevice device(dir / "disk.img", 4096);
  const std::string node = device.path().string();
  pickers.files = {{node}};
  ed.AddImageFiles();
  ASSERT_EQ(form.iGrid1.rowCount(), 1);
  EXPECT_EQ((std::vector{form.iGrid1.value(1, 1), form.iGrid1.value(1, 5), form.iGrid1.value(1, 6)}),
            (std::vector<std::string>{"File", "1048576", "4096"}));
  ASSERT_TRUE(form.ListedDevices.count(node));
  EXPECT_EQ(form.ListedDevices[node].wholeDisk, node);
  ASSERT_TRUE(form.ListedDevices[node].identity.loopBacking);
  EXPECT_EQ(*form.ListedDevices[node].identity.loopBacking, *fsys.fileId((dir / "disk.img").string()));
}

// Ticking Use Sector Mutate shows the sector columns and advises on the
// drives whose sector size is not the one read (files have none); Force
// Read silences the advice, the boxes are checked and copied as they are
// typed and left, and unticking restores the defaults, locked.
TEST_F(Editor, SectorAdviceListsTheMismatchedDrivesButNotFiles) {
  form.run.TargetFolder = "/out";
  moveDrive(addDrive(0, "M0", 512));
  ui.setChecked(Ctl::Check2, true);
  ed.Check2Click();
  ASSERT_EQ(msg.count("Sector Size Error"), 1);
  EXPECT_EQ(msg.shown[0].text,
            "The following drives physical sector values do not match the input values and will cause problems.\n"
            "It is recommeded to use 'Force Read option to read the drive\n\n"
            "0 : M0 : Reported Size : 512, Input size : 520\n");
  EXPECT_EQ(std::pair(msg.shown[0].systemModal, form.iGrid2.isColumnVisible(JobCol::SectorIn)), std::pair(true, true));

  moveDrive(addDrive(1, "M1", 512));
  form.iGrid2.setValue(form.iGrid2.addRow(), JobCol::ID, "File");
  ed.CheckSectorSizes();
  ASSERT_EQ(msg.count("Sector Size Error"), 2);
  EXPECT_EQ(msg.shown[1].text,
            "The following drives physical sector values do not match the input values and will cause problems.\n"
            "It is recommeded to use 'Force Read option to read these drives.\n\n"
            "0 : M0 : Reported Size : 512, Input size : 520\n"
            "1 : M1 : Reported Size : 512, Input size : 520\n");

  ui.setChecked(Ctl::Check4, true);
  ed.Check2Click();
  EXPECT_EQ(msg.count("Sector Size Error"), 2) << "Force Read silences the advice";
  // An output size above the input beeps and keeps the focus in its box;
  // the boxes reach the jobs when left (leaving Text1 unticks Force Read:
  // OptionBoxesAndInputValue, through the window's focus).
  ui.setText(Ctl::Text2, "528");
  ed.Text2Change();
  EXPECT_EQ(std::tuple(ui.beeps, ui.focus), std::tuple(1, Ctl::Text2));
  ed.Text2LostFocus();
  EXPECT_EQ(form.iGrid2.value(1, JobCol::SectorOut), "528");
  ui.setChecked(Ctl::Check2, false);
  ed.Check2Click();
  EXPECT_EQ(
      std::tuple(form.iGrid2.isColumnVisible(JobCol::SectorOut), form.iGrid2.value(2, JobCol::SectorIn),
                 form.iGrid2.value(2, JobCol::SectorOut), ui.isEnabled(Ctl::Text1), msg.count("Sector Size Error")),
      std::tuple(false, "512", "512", false, 2));
}

}  // namespace
}  // namespace mdi
