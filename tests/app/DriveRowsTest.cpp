// Drive rows as the operator meets them: a model on every drive (a virtio
// system disk included), the red system-drive marking kept on the selected
// row, and a tip that tells drives apart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QPushButton>
#include <QToolTip>
#include <filesystem>
#include <fstream>

#include "app/GridView.h"
#include "app/frmMain.h"
#include "discovery/ListDrives.h"
#include "jobs/JobList.h"
#include "platform/linux/LinuxDriveEnumerator.h"
#include "tests/TestDir.h"
#include "tests/VirtioSysfs.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

// A virtio machine's drives: one 256 GiB disk that reports no model (vendor
// "0x1af4", no model file), holding the system.
class VirtioMachine final : public DriveEnumerator {
 public:
  explicit VirtioMachine(const fs::path& root) : m_sys(root.string(), (root / "mountinfo").string()) {}
  std::vector<DriveRecord> drives() override { return m_sys.drives(); }
  DrivesUnder drivesUnder(const std::string&) override { return {{0}, ""}; }

 private:
  LinuxDriveEnumerator m_sys;
};

class DriveRows : public ::testing::Test {
 protected:
  void SetUp() override {
    root = testDir("mdi-rows-");
    fs::remove_all(root);
    makeVirtioDisk(root, "536870912", "virtio_blk");  // 256 GiB
    fs::create_directories(root / "out");
    w = std::make_unique<frmMain>(h.deps(root.string(), [this](FormState& f, const Separators& sep) {
      VirtioMachine m(root);
      ListDrives(f, m, sep);
    }));
    w->startUp();
  }
  void TearDown() override {
    QToolTip::hideText();
    w.reset();
    fs::remove_all(root);
  }
  GridView* grid(const char* name) { return w->findChild<GridView*>(name); }
  // The colour drawn in the middle of a cell.
  QColor drawn(GridView* g, int row, int col) {
    const QImage img = g->grab().toImage();
    const QPoint p = g->viewport()->mapTo(g, g->visualRect(g->model()->index(row - 1, col - 1)).center());
    return img.pixelColor(p);
  }
  // The tip shown when the pointer rests on a cell.
  std::string tipAt(GridView* g, int row, int col) {
    const QPoint p = g->visualRect(g->model()->index(row - 1, col - 1)).center();
    QHelpEvent e(QEvent::ToolTip, p, g->viewport()->mapToGlobal(p));
    QApplication::sendEvent(g->viewport(), &e);
    return QToolTip::text().toStdString();
  }
  fs::path root;
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_F(DriveRows, VirtioSystemDiskHasAModelInTheGridAndTheQuestion) {
  GridModel& drives = w->form().iGrid1;
  ASSERT_EQ(drives.rowCount(), 1);
  EXPECT_EQ(drives.value(1, 2), "VIRTIO BLOCK DEVICE");
  EXPECT_EQ(drives.backColor(1, 1), kSystemDriveBack);
  h.pickers.folders = {(root / "out").string()};
  w->findChild<QPushButton*>("Command1")->click();
  drives.setCurrentRow(1);
  h.msg.answer("System Drive", MsgAnswer::No);
  w->jobEditor().AddDriveToJobList();
  ASSERT_EQ(h.msg.count("System Drive"), 1);
  EXPECT_EQ(h.msg.shown.back().text,
            "Drive [VIRTIO BLOCK DEVICE - 256.0 Gb] is a system drive are you sure you want to image it?.");
}

TEST_F(DriveRows, SelectedSystemDriveStaysRed) {
  GridView* g = grid("iGrid1");
  const QColor before = drawn(g, 1, 2);
  EXPECT_EQ(before, QColor(192, 0, 0)) << before.name().toStdString();
  w->form().iGrid1.setCurrentRow(1);
  ASSERT_TRUE(g->item(0, 1)->isSelected());
  const QColor selected = drawn(g, 1, 2);
  EXPECT_GT(selected.red(), 100) << selected.name().toStdString();
  EXPECT_LT(selected.green(), 40) << selected.name().toStdString();
  EXPECT_LT(selected.blue(), 40) << selected.name().toStdString();
  EXPECT_NE(selected, before);  // the selection still shows
}

TEST_F(DriveRows, DriveRowTipNamesNodeSerialBytesAndSectorSize) {
  h.drives.add(0, {{"/dev/vda", 274877906944ULL, "virtio-7"}, "/dev/null", 0xfe00, ""});
  h.drives.describe(0, {"Virtio Block Device", "SN-7", 512});
  const std::string tip =
      "Virtio Block Device\nNode: /dev/vda\nSerial: SN-7\nSize: 274,877,906,944 bytes\nLogical sector size: 512 bytes";
  EXPECT_EQ(tipAt(grid("iGrid1"), 1, 2), tip);
  // The same drive in the job list has the same tip, then the column's.
  h.pickers.folders = {(root / "out").string()};
  w->findChild<QPushButton*>("Command1")->click();
  w->form().iGrid1.setCurrentRow(1);
  h.msg.answer("System Drive", MsgAnswer::Yes);
  w->jobEditor().AddDriveToJobList();
  ASSERT_EQ(w->form().iGrid2.rowCount(), 1);
  w->jobEditor().JobGridCellEnter(1, JobCol::Model);
  EXPECT_EQ(tipAt(grid("iGrid2"), 1, JobCol::Model), tip + "\nModel no or file name");
}

TEST_F(DriveRows, DriveRowTipNamesTheProtectionTypeTheDiskReports) {
  h.drives.add(0, {{"/dev/sdc", 520ULL * 1000, "wwn-0x5000c5"}, "/dev/null", 0x820, ""});
  h.drives.describe(0, {"ST3300657SS", "6SJ1", 520, 2});
  EXPECT_EQ(tipAt(grid("iGrid1"), 1, 2),
            "ST3300657SS\nNode: /dev/sdc\nSerial: 6SJ1\nSize: 520,000 bytes\nLogical sector size: 520 bytes\n"
            "protection type 2");
}

TEST_F(DriveRows, ImageFileRowTipIsItsFullPath) {
  const std::string path = (root / "a-long-folder-name" / "Disk Image With A Long Name.IMG").string();
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
  h.pickers.files.push_back({path});
  w->findChild<QPushButton*>("Command4")->click();
  ASSERT_EQ(w->form().iGrid1.rowCount(), 2);
  EXPECT_EQ(tipAt(grid("iGrid1"), 2, 2), path);
}

}  // namespace
}  // namespace mdi
