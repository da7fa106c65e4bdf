// The drive grid follows drives attached and detached while the window is
// open and no run is going: from device events, and by hand with F5. With a
// scripted rescan and a fake monitor; the real monitor and drive table on
// loop devices are discovery's part (LiveDrivesLoop).
#include <gtest/gtest.h>

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

// Discovery reads every drive, and a drive may not answer: the listing and
// the rescans wait at gates the test opens, while the window has its
// events. A listing on the window's thread would hold startUp() (and F5)
// until the gate opened, which here never happens before they have
// returned.
class LiveDriveList : public ::testing::Test {
 protected:
  void SetUp() override {
    auto deps = h.deps(std::filesystem::temp_directory_path().string());
    deps.listDrives = [gate = listing](const std::vector<std::string>&) {
      gate->hold();
      return FrmMainDeps::FillDrives([](FormState& f, const Separators& sep) {
        AddDriveRow(f.iGrid1, listedDrive(0, "/dev/sda", "DISK A"), sep);
        AddDriveRow(f.iGrid1, listedDrive(1, "/dev/sdb", "DISK B"), sep);
      });
    };
    deps.deviceMonitor = &monitor;
    deps.rescanDrives = [this, gate = rescan] {
      gate->hold();
      return FrmMainDeps::ApplyDriveChanges([this] {
        ++rescans;
        return std::exchange(next, DriveChanges{});
      });
    };
    w = std::make_unique<frmMain>(std::move(deps));
  }
  void TearDown() override {
    listing->release();
    rescan->release();
  }
  std::shared_ptr<Gate> listing = std::make_shared<Gate>(0);
  std::shared_ptr<Gate> rescan = std::make_shared<Gate>(0);
  WindowHarness h;
  FakeDeviceMonitor monitor;
  DriveChanges next;
  int rescans = 0;
  std::unique_ptr<frmMain> w;
};

// Step by step on one window (each step traced in turn): the listing held,
// a burst of events whose one rescan is held, rows added and removed, F5,
// and a run that holds the list back.
TEST_F(LiveDriveList, FollowsDeviceEventsAndF5ButNotDuringARunAndNoDriveHoldsTheWindow) {
  GridModel& g = w->form().iGrid1;
  auto* notice = w->findChild<QLabel*>("AlertBox1");
  SCOPED_TRACE("start-up returns while the listing is held");
  w->startUp();
  QTest::qWait(100);
  EXPECT_EQ(std::pair(w->controls().statusText(1), notice->isVisible()),
            std::pair(std::string("Searching for drives ..."), true));
  listing->release();
  WindowHarness::awaitListing(*w);
  EXPECT_EQ(std::pair(g.rowCount(), notice->isVisible()), std::pair(2, false));
  SCOPED_TRACE("many events, one rescan, held while the window goes on; an attached drive is added");
  next.attached = {listedDrive(2, "/dev/sdc", "DISK C")};
  for (int i = 0; i < 5; ++i) monitor.fire();
  ASSERT_TRUE(within([&] { return rescan->held(); }));
  QTest::qWait(100);
  EXPECT_EQ(std::pair(rescans, g.rowCount()), std::pair(0, 2));
  rescan->release();
  ASSERT_TRUE(within([&] { return rowOf(g, "2") != 0; }));
  QTest::qWait(2 * frmMain::kSettleMs);
  EXPECT_EQ(std::tuple(rescans, g.value(rowOf(g, "2"), 2), g.rowCount()), std::tuple(1, "DISK C", 3));
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
  QTest::qWait(3 * frmMain::kSettleMs);
  EXPECT_EQ(std::pair(rescans, rowOf(g, "4")), std::pair(before, 0));
  w->form().running = false;
  ASSERT_TRUE(within([&] { return rowOf(g, "4") != 0; }));
  EXPECT_EQ(rescans, before + 1);
}

}  // namespace
}  // namespace mdi
