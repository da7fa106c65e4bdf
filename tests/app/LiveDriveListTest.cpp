// The drive grid follows drives attached and detached while the window is
// open and no run is going: from device events, and by hand with F5. With a
// scripted rescan and a fake monitor; the real monitor and drive table on
// loop devices are discovery's part (LiveDrivesLoop).
#include <gtest/gtest.h>

#include <QTest>

#include "tests/app/WindowHarness.h"
#include "tests/fakes/FakeDeviceMonitor.h"
#include "tests/fakes/Gate.h"

namespace mdi {
namespace {

// The row of drive `number`; 0 for none.
int rowOf(const GridModel& g, const std::string& number) {
  for (int r = 1; r <= g.rowCount(); ++r)
    if (g.value(r, 1) == number) return r;
  return 0;
}

class LiveDriveList : public ::testing::Test {
 protected:
  void SetUp() override {
    auto deps = h.deps(std::filesystem::temp_directory_path().string(), [](FormState& f, const Separators& sep) {
      AddDriveRow(f.iGrid1, listedDrive(0, "/dev/sda", "DISK A"), sep);
      AddDriveRow(f.iGrid1, listedDrive(1, "/dev/sdb", "DISK B"), sep);
    });
    deps.deviceMonitor = &monitor;
    deps.rescanDrives = [this] {
      return FrmMainDeps::ApplyDriveChanges([this] {
        ++rescans;
        return std::exchange(next, DriveChanges{});
      });
    };
    w = WindowHarness::start(std::move(deps));
  }
  WindowHarness h;
  FakeDeviceMonitor monitor;
  DriveChanges next;
  int rescans = 0;
  std::unique_ptr<frmMain> w;
};

// Step by step on one window (each step traced in turn): a burst of
// events, rows added and removed, F5, and a run that holds the list back.
TEST_F(LiveDriveList, FollowsDeviceEventsAndF5ButNotDuringARun) {
  GridModel& g = w->form().iGrid1;
  SCOPED_TRACE("many events, one rescan");
  for (int i = 0; i < 5; ++i) monitor.fire();
  ASSERT_TRUE(within([&] { return rescans > 0; }));
  pumpFor(2 * frmMain::kSettleMs);
  EXPECT_EQ(rescans, 1);
  SCOPED_TRACE("an attached drive is added");
  next.attached = {listedDrive(2, "/dev/sdc", "DISK C")};
  monitor.fire();
  ASSERT_TRUE(within([&] { return rowOf(g, "2") != 0; }));
  EXPECT_EQ(std::pair(g.value(rowOf(g, "2"), 2), g.rowCount()), std::pair(std::string("DISK C"), 3));
  // Drive 0 goes into the job list, then drive 0 and drive 1 are
  // detached: drive 1's row goes, the job stays (Run refuses it).
  SCOPED_TRACE("detached drives go, their jobs stay");
  g.setCurrentRow(rowOf(g, "0"));
  h.pickers.folders = {std::filesystem::temp_directory_path().string()};
  w->jobEditor().AddDriveToJobList();
  ASSERT_EQ(w->form().iGrid2.rowCount(), 1);
  next.detached = {0, 1};
  monitor.fire();
  ASSERT_TRUE(within([&] { return rowOf(g, "1") == 0; }));
  EXPECT_EQ(std::tuple(g.rowCount(), g.value(1, 1), w->form().iGrid2.value(1, JobCol::ID)), std::tuple(1, "2", "0"));
  SCOPED_TRACE("F5 rescans by hand");
  next.attached = {listedDrive(3, "/dev/sdd", "DISK D")};
  ASSERT_TRUE(activated(*w));
  int before = rescans;
  QTest::keyClick(w.get(), Qt::Key_F5);
  ASSERT_TRUE(within([&] { return rescans == before + 1; }));
  EXPECT_NE(rowOf(g, "3"), 0);
  SCOPED_TRACE("no rescan during a run");
  next.attached = {listedDrive(4, "/dev/sde", "DISK E")};
  before = rescans;
  w->form().running = true;
  monitor.fire();
  pumpFor(3 * frmMain::kSettleMs);
  EXPECT_EQ(std::pair(rescans, rowOf(g, "4")), std::pair(before, 0));
  w->form().running = false;
  ASSERT_TRUE(within([&] { return rowOf(g, "4") != 0; }));
  EXPECT_EQ(rescans, before + 1);
}

// Discovery reads every drive, and a drive may not answer: the window has
// its events meanwhile, at start-up and at a rescan, and lists what was
// found once the listing returns. A listing on the window's thread would
// hold startUp() (and F5) until the gate opened, which here never happens
// before they have returned.
TEST(DrivesListedAside, ADriveThatDoesNotAnswerHoldsNoWindow) {
  WindowHarness h;
  auto gate = std::make_shared<Gate>(0);
  auto deps = h.deps(std::filesystem::temp_directory_path().string());
  deps.listDrives = [gate](const std::vector<std::string>&) {
    gate->hold();
    return FrmMainDeps::FillDrives(
        [](FormState& f, const Separators& sep) { AddDriveRow(f.iGrid1, listedDrive(0, "/dev/sda", "DISK A"), sep); });
  };
  auto rescanGate = std::make_shared<Gate>(0);
  deps.rescanDrives = [rescanGate] {
    rescanGate->hold();
    DriveChanges c;
    c.attached = {listedDrive(1, "/dev/sdb", "DISK B")};
    return FrmMainDeps::ApplyDriveChanges([c] { return c; });
  };
  auto w = std::make_unique<frmMain>(std::move(deps));
  w->startUp();  // returns while the listing is held
  pumpFor(100);
  EXPECT_EQ(w->controls().statusText(1), "Searching for drives ...");
  EXPECT_TRUE(child<QLabel>(*w, "AlertBox1")->isVisible());
  gate->release();
  WindowHarness::awaitListing(*w);
  GridModel& g = w->form().iGrid1;
  EXPECT_EQ(std::tuple(g.rowCount(), w->controls().statusText(1), child<QLabel>(*w, "AlertBox1")->isVisible()),
            std::tuple(1, "Ready", false));
  w->rescanDrives();  // returns while the rescan is held
  pumpFor(100);
  EXPECT_EQ(g.rowCount(), 1);
  rescanGate->release();
  EXPECT_TRUE(within([&] { return g.rowCount() == 2; }));
}

}  // namespace
}  // namespace mdi
