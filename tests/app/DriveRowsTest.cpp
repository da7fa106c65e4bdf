// Drive rows as the operator meets them: a model on every drive (a virtio
// system disk included), the red system-drive marking kept on the selected
// row, and a tip that tells drives apart.
#include <gtest/gtest.h>

#include <QImage>

#include "discovery/ListDrives.h"
#include "platform/linux/LinuxDriveEnumerator.h"
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
    makeVirtioDisk(root.path, "536870912", "virtio_blk");  // 256 GiB
    fs::create_directories(root.path / "out");
    h.pickers.folders = {root / "out"};
    w = h.start(root.path.string(), [this](FormState& f, const Separators& sep) {
      VirtioMachine m(root.path);
      ListDrives(f, m, sep);
    });
  }
  void TearDown() override { QToolTip::hideText(); }
  GridView* grid(const char* name) { return w->findChild<GridView*>(name); }
  // The colour drawn in the middle of a cell.
  static QColor drawn(GridView* g, int row, int col) {
    return g->grab().toImage().pixelColor(
        g->viewport()->mapTo(g, g->visualRect(g->model()->index(row - 1, col - 1)).center()));
  }
  // Drive 1 into the job list, answering the system-drive question.
  void addTheDrive(MsgAnswer answer) {
    w->findChild<QPushButton*>("Command1")->click();
    w->form().iGrid1.setCurrentRow(1);
    h.msg.answer("System Drive", answer);
    w->jobEditor().AddDriveToJobList();
  }
  ScratchDir root{"mdi-rows-"};
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

// The virtio system disk has a model in the grid and in the question, and
// its red marking stays on the selected row, a shade darker.
TEST_F(DriveRows, VirtioSystemDiskIsNamedAndStaysRedWhenSelected) {
  GridModel& drives = w->form().iGrid1;
  ASSERT_EQ(drives.rowCount(), 1);
  EXPECT_EQ(std::pair(drives.value(1, 2), drives.backColor(1, 1)),
            std::pair(std::string("VIRTIO BLOCK DEVICE"), kSystemDriveBack));
  GridView* g = grid("iGrid1");
  const QColor before = drawn(g, 1, 2);
  EXPECT_EQ(before, QColor(192, 0, 0)) << before.name().toStdString();
  drives.setCurrentRow(1);
  ASSERT_TRUE(g->item(0, 1)->isSelected());
  const QColor selected = drawn(g, 1, 2);
  EXPECT_TRUE(selected.red() > 100 && selected.green() < 40 && selected.blue() < 40) << selected.name().toStdString();
  EXPECT_NE(selected, before);  // the selection still shows

  addTheDrive(MsgAnswer::No);
  ASSERT_EQ(h.msg.count("System Drive"), 1);
  EXPECT_EQ(h.msg.shown.back().text,
            "Drive [VIRTIO BLOCK DEVICE - 256.0 Gb] is a system drive are you sure you want to image it?.");
  EXPECT_EQ(w->form().iGrid2.rowCount(), 0);
}

// The tip of a drive row names what tells the drive apart; the same drive
// in the job list has the same tip, then the column's.
struct TipCase {
  const char* name;
  DriveIdentity identity;
  FakeDriveTable::Details description;
  const char* tip;
};
class DriveRowTip : public DriveRows, public ::testing::WithParamInterface<TipCase> {};

TEST_P(DriveRowTip, NamesWhatTellsTheDriveApart) {
  h.drives.add(0, {GetParam().identity, "/dev/null", 0xfe00, ""});
  h.drives.describe(0, GetParam().description);
  EXPECT_EQ(cellTip(grid("iGrid1"), 1, 2), GetParam().tip);
  addTheDrive(MsgAnswer::Yes);
  ASSERT_EQ(w->form().iGrid2.rowCount(), 1);
  w->jobEditor().JobGridCellEnter(1, JobCol::Model);
  EXPECT_EQ(cellTip(grid("iGrid2"), 1, JobCol::Model), std::string(GetParam().tip) + "\nModel no or file name");
}

const TipCase kTips[] = {
    {"NodeSerialBytesAndSectorSize",
     {"/dev/vda", 274877906944ULL, "virtio-7"},
     {"Virtio Block Device", "SN-7", 512},
     "Virtio Block Device\nNode: /dev/vda\nSerial: SN-7\nSize: 274,877,906,944 bytes\nLogical sector size: 512 bytes"},
    {"TheProtectionTypeTheDiskReports",
     {"/dev/sdc", 520ULL * 1000, "wwn-0x5000c5"},
     {"ST3300657SS", "6SJ1", 520, 2},
     "ST3300657SS\nNode: /dev/sdc\nSerial: 6SJ1\nSize: 520,000 bytes\nLogical sector size: 520 bytes\nprotection type "
     "2"}};
INSTANTIATE_TEST_SUITE_P(Drives, DriveRowTip, ::testing::ValuesIn(kTips), ByName());

}  // namespace
}  // namespace mdi
