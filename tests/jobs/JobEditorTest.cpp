// Job-list editing and sector settings over the window state, with fakes
// for every box, picker and control.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "discovery/ListDrives.h"
#include "jobs/JobEditor.h"
#include "jobs/JobList.h"
#include "jobs/TargetFolder.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/CaseName.h"
#include "tests/TestDir.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/Fakes.h"
#include "tests/fakes/ForwardingFileSystem.h"
#include "tests/fakes/LoopDevice.h"

#include <sys/stat.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <tuple>

namespace mdi {
namespace {

namespace fs = std::filesystem;

TEST(DefaultOutputName, PadsToThreeDigitsAndAddsOneSlash) {
  EXPECT_EQ(defaultOutputName(12, "/"), "/012.bin");
  EXPECT_EQ(defaultOutputName(123, "/out/"), "/out/123.bin");
  EXPECT_EQ(defaultOutputName(1000, "/out"), "/out/1000.bin");
}

TEST(JobGrid, TenColumnsWithTheHiddenOnes) {
  GridModel g;
  g.addRow();
  setUpJobGrid(g);
  EXPECT_EQ(std::tuple(g.columnCount(), g.rowCount(), g.header(4), g.header(6)),
            std::tuple(10, 0, "Size", "File Name"));
  std::vector<int> shown;
  for (int c = 1; c <= g.columnCount(); ++c)
    if (g.isColumnVisible(c)) shown.push_back(c);
  EXPECT_EQ(shown, (std::vector{1, 2, 3, 6, 7, 10}));
}

// The real file system, but asking what lies at `held` waits until it is
// released, as a path on a drive or share that does not answer (at most
// 5 s, so that a window that waits for it fails the test, not hangs it).
class HeldFs final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  PathKind kind(const std::string& p) const override {
    if (p == held) {
      std::unique_lock lk(m_m);
      m_cv.wait_for(lk, std::chrono::seconds(5), [&] { return m_released; });
    }
    return m_real.kind(p);
  }
  void release() {
    std::lock_guard lk(m_m);
    m_released = true;
    m_cv.notify_all();
  }
  std::string held;

 private:
  mutable std::mutex m_m;
  mutable std::condition_variable m_cv;
  bool m_released = false;
};

class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
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
  FakeAtomicFile records;
  FakeSystemInfo system;
  Services sv{ui, msg, pickers, fsys, files, drives, clock, pump, launcher, locale, io, records, system};
  JobEditor ed{
      form, sv, [](const std::string& b) { return b + " bytes"; },
      [this](const DriveRecord& d) { AddListedDriveRow(form.iGrid1, d, form.SystemDisks, locale.separators()); }};
};

TEST_F(Editor, SetTargetCreatesTheFolderAndEnablesRun) {
  pickers.folders = {(dir / "new" / "deeper").string()};
  ui.setEnabled(Ctl::Command2, false);
  SetTarget(form, sv);
  EXPECT_TRUE(fs::is_directory(dir / "new" / "deeper"));
  EXPECT_EQ(std::pair(ui.text(Ctl::Label2), ui.isEnabled(Ctl::Command2)),
            std::pair((dir / "new" / "deeper").string(), true));
}

TEST_F(Editor, SetTargetThatCannotBeCreatedSaysSo) {
  fs::path file = dir / "plain";
  std::ofstream(file) << "x";
  pickers.folders = {(file / "sub").string()};
  SetTarget(form, sv);
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_NE(msg.shown[0].text.find("Unable to create the folder"), std::string::npos);
  EXPECT_EQ(std::tuple(form.run.TargetFolder, ui.text(Ctl::Label2)), std::tuple("", "No target selected"));
}

TEST_F(Editor, AddingADriveMovesItsRowAndNamesTheOutput) {
  form.run.TargetFolder = "/out";
  const int r = addDrive(2, "ABC", 512);
  moveDrive(r);
  ASSERT_EQ(form.iGrid2.rowCount(), 1);
  EXPECT_EQ(form.iGrid1.rowCount(), 0);
  std::vector<std::string> job;
  for (int c = 1; c <= JobCol::Count; ++c) job.push_back(form.iGrid2.value(1, c));
  EXPECT_EQ(job, (std::vector<std::string>{"2", "ABC", "1.0 Gb", "pnp", "1073741824", "/out/001.bin", "", "512", "512",
                                           "512"}));
}

TEST_F(Editor, NoTargetAnsweredNoChangesNothing) {
  const int r = addDrive(1, "X", 512);
  msg.answer("No Target", MsgAnswer::No);
  moveDrive(r);
  EXPECT_EQ(msg.shown[0].text, "Select target folder now?");
  EXPECT_EQ(std::tuple(form.iGrid2.rowCount(), form.iGrid1.rowCount(), pickers.folderTitles.size()),
            std::tuple(0, 1, 0u));
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
// drive list shows it: still red when it holds the system, so adding it
// again asks again, and with its sector size, so Run's advice sees it. A
// drive detached meanwhile does not come back.
TEST_F(Editor, RemovingAJobBringsTheDriveBackAsListed) {
  form.run.TargetFolder = "/out";
  drives.add(0, {{"/dev/sys0", 1 << 20, "wwn-sys"}, "/dev/null", 1, ""});
  drives.describe(0, {"Sys Disk", "S0", 520});
  drives.add(3, {{"/dev/gone3", 1 << 20, "wwn-gone"}, "/dev/null", 2, ""});
  form.SystemDisks = "/dev/other,/dev/sys0,";
  for (int n : {0, 3}) AddListedDriveRow(form.iGrid1, *drives.listedRecord(n), form.SystemDisks, locale.separators());
  const auto listed = shownRow(form.iGrid1, 1);
  msg.answerOnce("System Drive", MsgAnswer::No);
  moveDrive(1);
  EXPECT_EQ(form.iGrid2.rowCount(), 0) << "answered No";
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, "Drive [SYS DISK - 1,024.0 Kb] is a system drive are you sure you want to image it?.");
  moveDrive(1);
  moveDrive(1);
  ASSERT_EQ(form.iGrid2.rowCount(), 2);

  msg.answer("Remove Entry?", MsgAnswer::No);
  ed.JobGridDoubleClick(1, 2);
  EXPECT_EQ(form.iGrid2.rowCount(), 2);
  EXPECT_EQ(msg.shown.back().text, "Remove SYS DISK? Are you sure?");
  msg.answer("Remove Entry?", MsgAnswer::Yes);
  drives.unplug(3);
  ed.JobGridDoubleClick(2, 2);
  ed.JobGridDoubleClick(1, 2);
  EXPECT_EQ(std::pair(form.iGrid2.rowCount(), ui.isEnabled(Ctl::Command2)), std::pair(0, false));
  ASSERT_EQ(form.iGrid1.rowCount(), 1) << "the detached drive stays off the list";
  EXPECT_EQ(shownRow(form.iGrid1, 1), listed);

  msg.shown.clear();
  moveDrive(1);
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].title, "System Drive");
  EXPECT_EQ(form.iGrid2.value(1, JobCol::BPS), "520");
}

// An image file comes back as it was added, a block device with its sector size.
TEST_F(Editor, RemovingAnImageJobBringsTheFileBack) {
  form.run.TargetFolder = "/out";
  const int r = form.iGrid1.addRow();
  for (auto [c, v] : {std::pair{1, "File"}, {2, "/dev/sdz1"}, {3, "4 KB"}, {5, "4096"}, {6, "4096"}})
    form.iGrid1.setValue(r, c, v);
  const auto added = shownRow(form.iGrid1, r);
  moveDrive(r);
  msg.answer("Remove Entry?", MsgAnswer::Yes);
  ed.JobGridDoubleClick(1, 2);
  ASSERT_EQ(form.iGrid1.rowCount(), 1);
  EXPECT_EQ(shownRow(form.iGrid1, 1), added);
}

// How an edit ends is the window's part (InPlaceEdit).
TEST_F(Editor, DoubleClickOnEditableCellsEditsInsteadOfRemoving) {
  struct : GridListener {
    void editRequested(int, int col) override { cols.push_back(col); }
    std::vector<int> cols;
  } edits;
  form.run.TargetFolder = "/out";
  moveDrive(addDrive(0, "A", 512));
  form.iGrid2.setListener(&edits);
  for (int col : {JobCol::FileName, JobCol::SectorIn, JobCol::SectorOut}) ed.JobGridDoubleClick(1, col);
  ed.JobGridDoubleClick(0, 2);
  form.iGrid2.setListener(nullptr);
  EXPECT_EQ(edits.cols, (std::vector<int>{JobCol::FileName, JobCol::SectorIn, JobCol::SectorOut}));
  EXPECT_EQ(std::pair(msg.shown.size(), form.iGrid2.rowCount()), std::pair(std::size_t{0}, 1));
}

TEST_F(Editor, RightClickMakesTheRowCurrentAndTargetsThatJob) {
  form.run.TargetFolder = "/out";
  moveDrive(addDrive(0, "A", 512));
  moveDrive(addDrive(1, "B", 512));
  form.iGrid2.setValue(2, JobCol::FileName, "abc.bin");
  EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Right, 2, JobCol::FileName), PopupMenu::mnuNew);
  EXPECT_EQ(form.iGrid2.currentRow(), 2);
  EXPECT_EQ(ui.text(Ctl::mnuSetTarget), "Set target folder for : B");
  pickers.folders = {dir.string()};
  ed.SetTargetForThisJob();
  EXPECT_EQ(std::tuple(form.iGrid2.value(1, JobCol::FileName), form.iGrid2.value(2, JobCol::FileName)),
            std::tuple("/out/001.bin", (dir / "abc.bin").string()));
  EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Right, 1, JobCol::Status), PopupMenu::None);
  EXPECT_EQ(ed.JobGridMouseDown(MouseButton::Left, 0, 3), PopupMenu::None);
  EXPECT_EQ(std::pair(form.ClickedRow, form.ClickedCol), std::pair(1, int{JobCol::Status}));
}

// Image files are listed with their sizes. What lies at each chosen path is
// asked aside: the window has its events while a path does not answer, and
// Add Image File(s) cannot be pressed again meanwhile. Before any image was
// added, the picker opens in the home folder the system reports
// (WindowServices.AreTheOnesHandedIn), or at the root when it reports none;
// then in the folder of the last image added.
TEST_F(Editor, ImageFilesAreExaminedAsideAndListedWithTheirSizes) {
  system.home = "";
  std::ofstream(dir / "one.img") << std::string(1000, 'x');
  std::ofstream(dir / "two.img") << std::string(10, 'y');
  fsys.held = (dir / "one.img").string();
  pickers.files = {{fsys.held, (dir / "two.img").string()}};
  int waits = 0;
  bool buttonOff = false;
  pump.whileWaiting([&] {
    buttonOff = buttonOff || !ui.isEnabled(Ctl::Command4);
    if (++waits == 3) fsys.release();
  });
  ed.AddImageFiles();
  EXPECT_EQ(std::tuple(waits >= 3, buttonOff, ui.isEnabled(Ctl::Command4)), std::tuple(true, true, true));
  ASSERT_EQ(form.iGrid1.rowCount(), 2);
  std::vector<std::string> row;
  for (int c = 1; c <= 8; ++c) row.push_back(form.iGrid1.value(1, c));
  EXPECT_EQ(row, (std::vector<std::string>{"File", fsys.held, "1000 bytes", "", "1000", "", "", ""}));
  EXPECT_EQ(form.LastImageFolder, dir.string() + "/");
  ed.AddImageFiles();
  EXPECT_EQ(pickers.fileStartFolders, (std::vector<std::string>{"/", dir.string() + "/"}));
}

TEST_F(Editor, NamesMadeWithoutATargetMoveIntoTheTargetChosenLater) {
  msg.answer("No Target", MsgAnswer::Yes);  // and the folder picker is cancelled
  moveDrive(addDrive(0, "A", 512));
  EXPECT_EQ(ui.text(Ctl::Label2), "No target selected");
  moveDrive(addDrive(1, "B", 512));
  form.iGrid2.setValue(2, JobCol::FileName, "/own/b.bin");  // a folder of its own stays
  EXPECT_EQ(form.iGrid2.value(1, JobCol::FileName), "001.bin");
  pickers.folders = {(dir / "t").string()};
  SetTarget(form, sv);
  EXPECT_EQ(std::tuple(form.iGrid2.value(1, JobCol::FileName), form.iGrid2.value(2, JobCol::FileName)),
            std::tuple((dir / "t" / "001.bin").string(), "/own/b.bin"));
}

constexpr const char* kNotImage = " is not an image file or a block device, so it cannot be imaged.";
struct NotAnImage {
  const char* name;
  std::function<std::string(const fs::path& dir)> make;  // returns the path to add
  const char* before;                                    // the message: before + path + after
  const char* after;
};
std::string fifo(const fs::path& d) {
  ::mkfifo((d / "fifo").c_str(), 0600);
  return (d / "fifo").string();
}
const NotAnImage kNotImages[] = {
    {"Folder", [](const fs::path& d) { return d.string(); }, "", kNotImage},
    {"Fifo", fifo, "", kNotImage},
    {"CharacterDevice", [](const fs::path&) { return std::string("/dev/null"); }, "", kNotImage},
    {"Missing", [](const fs::path& d) { return (d / "gone.img").string(); }, "The file ", " does not exist."}};
class ImageFileKinds : public Editor, public ::testing::WithParamInterface<NotAnImage> {};
TEST_P(ImageFileKinds, AreRefusedWithTheirPathAndNotListed) {
  const std::string path = GetParam().make(dir);
  pickers.files = {{path}};
  ed.AddImageFiles();
  EXPECT_EQ(form.iGrid1.rowCount(), 0);
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, GetParam().before + path + GetParam().after);
}
INSTANTIATE_TEST_SUITE_P(Kinds, ImageFileKinds, ::testing::ValuesIn(kNotImages), ByName());

TEST_F(Editor, BlockDeviceIsListedWithItsRealSizeAndSectorSize) {
  if (const std::string why = LoopDevice::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
  const LoopDevice device(sparseFile(dir / "disk.img", 1 << 20), 4096);
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

class Sectors : public Editor {
 protected:
  void addJobs(int n, int bps) {
    form.run.TargetFolder = "/out";
    for (int i = 0; i < n; ++i) moveDrive(addDrive(i, "M" + std::to_string(i), bps));
  }
};

TEST_F(Sectors, AdviceListsTheMismatchedDrivesButNotFiles) {
  addJobs(1, 512);
  ui.setChecked(Ctl::Check2, true);
  ed.Check2Click();
  ASSERT_EQ(msg.count("Sector Size Error"), 1);
  EXPECT_EQ(msg.shown[0].text,
            "The following drives physical sector values do not match the input values and will cause problems.\n"
            "It is recommeded to use 'Force Read option to read the drive\n\n"
            "0 : M0 : Reported Size : 512, Input size : 520\n");
  EXPECT_TRUE(msg.shown[0].systemModal);
  EXPECT_TRUE(form.iGrid2.isColumnVisible(JobCol::SectorIn));

  moveDrive(addDrive(1, "M1", 512));
  form.iGrid2.setValue(form.iGrid2.addRow(), JobCol::ID, "File");
  ed.CheckSectorSizes();
  ASSERT_EQ(msg.count("Sector Size Error"), 2);
  EXPECT_EQ(msg.shown[1].text,
            "The following drives physical sector values do not match the input values and will cause problems.\n"
            "It is recommeded to use 'Force Read option to read these drives.\n\n"
            "0 : M0 : Reported Size : 512, Input size : 520\n"
            "1 : M1 : Reported Size : 512, Input size : 520\n");
}

TEST_F(Sectors, UntickingRestoresDefaultsAndHidesColumns) {
  addJobs(2, 520);
  ui.setChecked(Ctl::Check2, true);
  ed.Check2Click();
  EXPECT_TRUE(msg.shown.empty());
  ui.setChecked(Ctl::Check4, true);
  ui.setChecked(Ctl::Check2, false);
  ed.Check2Click();
  EXPECT_EQ(std::tuple(form.iGrid2.isColumnVisible(JobCol::SectorOut), form.iGrid2.value(2, JobCol::SectorIn)),
            std::tuple(false, "512"));
  EXPECT_TRUE(msg.shown.empty()) << "Force Read silences the check";
}

TEST_F(Sectors, TextBoxesBeepAndCopy) {
  addJobs(1, 512);
  ui.setText(Ctl::Text1, "512");
  ui.setText(Ctl::Text2, "520");
  ed.Text2Change();
  EXPECT_EQ(std::tuple(ui.beeps, ui.focus), std::tuple(1, Ctl::Text2));
  ed.Text2LostFocus();
  EXPECT_EQ(form.iGrid2.value(1, JobCol::SectorOut), "520");
  ui.setChecked(Ctl::Check4, true);
  ui.setText(Ctl::Text2, "512");
  ed.Text1LostFocus();
  EXPECT_FALSE(ui.isChecked(Ctl::Check4)) << "leaving Text1 always unticks Force Read";
  EXPECT_EQ(ui.beeps, 1);
}

}  // namespace
}  // namespace mdi
