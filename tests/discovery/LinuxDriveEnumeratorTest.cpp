// Discovery over a fake sysfs tree: which block devices are drives, in
// which order, with what read of them; a disk that does not say everything,
// or something that cannot be read (the drive stays listed as far as it was
// read, with a model all the same); which disks hold a folder; and the drive
// table following drives attached and detached after start-up (numbers of
// drives still attached keep their meaning, new drives get new numbers,
// detached or changed ones are reported; the loop device tests follow a
// real drive).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <utility>

#include "discovery/LinuxDriveTable.h"
#include "tests/CaseName.h"
#include "tests/TestDir.h"

namespace mdi {
namespace {

// A throw-away sysfs look-alike: block/<name>/{dev, size,...} under a
// temporary root, with a mount table beside it.
// The helpers are public so that a table of cases can lay out its tree.
class FakeSysfsTest : public ::testing::Test {
 public:
  using path = std::filesystem::path;
  void SetUp() override { std::filesystem::create_directories(root / "block"); }
  void put(const path& rel, const std::string& text) {
    const path p = root / "block" / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << text << "\n";
  }
  // An entry that cannot be examined: a symbolic link to itself.
  void loopingLink(const path& rel) {
    const path p = root / "block" / rel;
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::remove_all(p);
    std::filesystem::create_symlink(p.filename(), p);
  }
  // An attribute that cannot be read: a folder where the file should be.
  void unreadable(const path& rel) {
    const path p = root / "block" / rel;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
  }
  void disk(const std::string& name, const std::string& dev, std::uint64_t sectors, int bps = 512) {
    put(name + "/dev", dev);
    put(name + "/size", std::to_string(sectors));
    put(name + "/queue/logical_block_size", std::to_string(bps));
  }
  void part(const std::string& disk, const std::string& name, const std::string& dev) {
    put(disk + "/" + name + "/dev", dev);
    put(disk + "/" + name + "/partition", "1");
    put(disk + "/" + name + "/size", "2048");
  }
  void mounts(const std::string& text) { std::ofstream(mountInfo) << text; }
  LinuxDriveEnumerator enumerator() { return LinuxDriveEnumerator(root.string(), mountInfo.string()); }
  // "major:minor" of the filesystem holding p, as sysfs writes device numbers.
  static std::string devOf(const path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return "";
    return std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  }
  static std::vector<std::string> names(const std::vector<DriveRecord>& r) {
    std::vector<std::string> out;
    for (const auto& d : r) out.push_back(d.deviceId);
    return out;
  }
  const ScratchDir scratch{"mdi-sysfs-"};
  const path root = scratch.path;
  const path mountInfo = root / "mountinfo";
};

// Which block devices are drives, and in which order they are listed.
TEST(LinuxDriveNames, ListedInNaturalOrder) {
  std::vector<std::string> v = {"loop10",  "sdaa",    "ram0", "nvme10n1",    "zram0",        "loop2",  "sdb", "md0",
                                "xvda",    "nvme0n1", "sda",  "sr0",         "mmcblk0boot0", "sdz",    "hda", "",
                                "nvme1n1", "mmcblk0", "dm-0", "mmcblk0rpmb", "vda",          "nvme0n2"};
  std::erase_if(v, [](const std::string& n) { return !LinuxDriveEnumerator::isListedName(n); });
  std::sort(v.begin(), v.end(), LinuxDriveEnumerator::naturalLess);
  EXPECT_EQ(v, (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa", "hda", "vda", "xvda", "nvme0n1", "nvme0n2",
                                         "nvme1n1", "nvme10n1", "mmcblk0", "loop2", "loop10"}));
}

TEST_F(FakeSysfsTest, ListsWholeDisksInNaturalOrderWithTheirAttributes) {
  disk("sdb", "8:16", 976773168);
  put("sdb/device/vendor", "ATA     ");
  put("sdb/device/model", "ST3500 SCSI Disk Device   ");
  disk("sda", "8:0", 1000);
  put("sda/device/model", "Only Model");
  disk("nvme0n1", "259:0", 4096);
  put("nvme0n1/device/vendor", "ignored");
  put("nvme0n1/device/model", "Samsung SSD 980");
  disk("loop0", "7:0", 131072);
  put("loop0/loop/backing_file", "/tmp/disk.img");
  disk("loop1", "7:1", 0);  // not attached
  disk("mmcblk0", "179:0", 8192);
  put("mmcblk0/device/name", "SD32G");
  part("sda", "sda1", "8:1");
  mounts("");

  const auto r = enumerator().drives();
  ASSERT_EQ(names(r), (std::vector<std::string>{"/dev/sda", "/dev/sdb", "/dev/nvme0n1", "/dev/mmcblk0", "/dev/loop0"}));
  for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].number, static_cast<int>(i));
  const DriveRecord& sdb = r[1];
  EXPECT_EQ(std::tuple(sdb.model, sdb.size, sdb.bytesPerSector, sdb.mediaPresent, sdb.devNumber),
            std::tuple("ATA ST3500 SCSI Disk Device", 976773168ULL * 512, 512u, true, makedev(8, 16)));
  EXPECT_FALSE(sdb.pnpDeviceId.empty());  // falls back to the sysfs path
  // (A disk of no model is listed by its kernel name: SysfsWith below.)
  EXPECT_EQ(std::tuple(r[0].model, r[2].model, r[3].model, r[4].model),
            std::tuple("Only Model", "Samsung SSD 980", "SD32G", "Loop /tmp/disk.img"));
}

// Which listed disks hold a folder, for each kind of device its filesystem
// may live on. The folder is the fake tree's own, so the tree gives its real
// device number to the node the case names. Where something stands in the
// way of following the folder down to its disks, the answer says why, and
// the drive table a run checks its target against counts every drive as
// under the folder (the drive list marks them all as system drives).
struct HolderCase {
  const char* name;
  const char* holder;     // node given the folder's device number; "" for none
  const char* mountLine;  // mountinfo line for that device number, "%s" standing for it
  std::vector<std::string> disks;
  // Something in the way, given the folder's device number ("major:minor").
  void (*spoil)(FakeSysfsTest&, const std::string& here) = nullptr;
};

// What stands in the way in the doubtful cases; `here` is the folder's
// device number.
void unlistableMembers(FakeSysfsTest& t, const std::string&) { t.loopingLink("dm-0/slaves"); }
void goneBackingFile(FakeSysfsTest& t, const std::string& here) {
  t.put("loop0/dev", here);
  t.put("loop0/size", "64");
  t.put("loop0/loop/backing_file", "/mdi-no-such-folder/disk.img");
}
void unreadableMountTable(FakeSysfsTest& t, const std::string&) { t.unreadable("../mountinfo"); }
void unexaminableEntry(FakeSysfsTest& t, const std::string&) { t.loopingLink("sdb/sdb1"); }
void garbledDeviceNumber(FakeSysfsTest& t, const std::string&) { t.put("sdb/dev", "garbage"); }
void noBlockFolder(FakeSysfsTest& t, const std::string&) { std::filesystem::remove_all(t.root / "block"); }

class DisksUnderAFolder : public FakeSysfsTest, public ::testing::WithParamInterface<HolderCase> {};

TEST_P(DisksUnderAFolder, FollowPartitionsStackedDevicesAndMountSources) {
  const HolderCase& c = GetParam();
  const std::string real = devOf(root);
  ASSERT_FALSE(real.empty());
  auto devFor = [&](const std::string& node, const char* fake) { return node == c.holder ? real : fake; };
  disk("sda", devFor("sda", "240:0"), 1000);
  part("sda", "sda1", devFor("sda1", "240:1"));
  part("sda", "sda2", devFor("sda2", "240:2"));
  disk("sdb", devFor("sdb", "240:16"), 1000);
  disk("sdzz", devFor("sdzz", "240:48"), 1000);
  disk("dm-0", devFor("dm-0", "241:0"), 8192);
  put("dm-0/slaves/sda2", "");
  put("dm-0/slaves/sdb", "");
  disk("md0", devFor("md0", "242:0"), 8192);
  put("md0/slaves/dm-0", "");
  std::string line = c.mountLine;
  if (const auto at = line.find("%s"); at != std::string::npos) line.replace(at, 2, real);
  mounts(line);
  if (c.spoil) c.spoil(*this, real);
  LinuxDriveEnumerator e = enumerator();
  const auto records = e.drives();
  const DrivesUnder under = e.drivesUnder(root.string());
  if (c.spoil) {
    EXPECT_NE(under.failure, "");
    std::vector<int> all;
    for (const DriveRecord& r : records) all.push_back(r.number);
    EXPECT_EQ(LinuxDriveTable(e, records).drivesUnder(root.string()), all);
    return;
  }
  std::vector<std::string> found;
  for (int n : under.numbers) found.push_back(records.at(static_cast<std::size_t>(n)).deviceId);
  EXPECT_EQ(found, c.disks);
  EXPECT_EQ(under.failure, "");
  // A folder still to be made lies on its nearest existing parent, the
  // working folder for a relative name.
  EXPECT_EQ(e.drivesUnder((root / "not-yet/made").string()).numbers, under.numbers);
  const std::filesystem::path working = std::filesystem::current_path();
  std::filesystem::current_path(root);
  EXPECT_EQ(e.drivesUnder("not-yet").numbers, under.numbers);
  std::filesystem::current_path(working);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, DisksUnderAFolder,
    ::testing::Values(HolderCase{"Partition", "sda1", "", {"/dev/sda"}},
                      HolderCase{"DeviceMapperOverAPartitionAndADisk", "dm-0", "", {"/dev/sda", "/dev/sdb"}},
                      HolderCase{"RaidOverDeviceMapper", "md0", "", {"/dev/sda", "/dev/sdb"}},
                      // btrfs and overlays have a device number of their own; the mount
                      // table names the block device.
                      HolderCase{"MountSourceOfAFilesystemWithoutItsOwnDevice",
                                 "",
                                 "22 1 %s / / rw,relatime shared:1 - btrfs /dev/sdzz rw\n",
                                 {"/dev/sdzz"}},
                      HolderCase{
                          "FilesystemWithoutADisk", "", "25 22 %s / /run rw,nosuid shared:4 - tmpfs tmpfs rw\n", {}},
                      HolderCase{"StackedDeviceWhoseMembersCannotBeListed", "dm-0", "", {}, unlistableMembers},
                      HolderCase{"LoopDeviceWhoseBackingFileIsGone", "", "", {}, goneBackingFile},
                      HolderCase{"MountTableUnreadable", "", "", {}, unreadableMountTable},
                      HolderCase{"AnEntryOfADiskCannotBeExamined", "", "", {}, unexaminableEntry},
                      HolderCase{"DeviceNumberOfADiskGarbled", "", "", {}, garbledDeviceNumber},
                      HolderCase{"NoBlockFolderAtAll", "", "", {}, noBlockFolder}),
    ByName());

// A disk formatted with 520-byte sectors: the block device says size 0, the
// disk itself (asked through pass-through) reports its blocks. A user who
// may not ask it (not root, not in the disk group) still sees a fixed disk
// listed, with why it cannot be imaged; a card reader without a card, which
// nobody may ask either, is not listed.
TEST_F(FakeSysfsTest, UnsizedScsiDiskIsListedWithItsPassThroughCapacity) {
  disk("sda", "8:0", 1000);
  disk("sdb", "8:16", 0);
  disk("sdc", "8:32", 0);  // a reader without a medium: the probe finds nothing
  disk("sdd", "8:48", 0);  // a 520-byte disk this user may not ask
  disk("sde", "8:64", 0);  // a reader this user may not ask
  put("sde/removable", "1");
  auto en = enumerator();
  std::vector<std::string> probed;
  en.setScsiProber([&](const std::string& node) -> ScsiProbe {
    probed.push_back(node);
    if (node == "/dev/sdd" || node == "/dev/sde") return {std::nullopt, true};
    if (node != "/dev/sdb") return {};
    ScsiDiskInfo info;
    info.capacity = {585937500, 520, 1};
    return {info};
  });
  // Each disk's pass-through, denied, listed, size and sector size.
  using Read = std::tuple<bool, bool, bool, std::uint64_t, std::uint32_t>;
  const std::map<std::string, Read> want = {{"/dev/sda", {false, false, true, 1000 * 512, 512}},
                                            {"/dev/sdb", {true, false, true, 585937500ull * 520, 520}},
                                            {"/dev/sdc", {false, false, false, 0, 512}},
                                            {"/dev/sdd", {true, true, true, 0, 512}},
                                            {"/dev/sde", {false, false, false, 0, 512}}};
  const auto recs = en.drives();
  ASSERT_EQ(recs.size(), want.size());
  for (const DriveRecord& r : recs)
    EXPECT_EQ(Read(r.passThrough, r.passThroughDenied, r.listable(), r.size, r.bytesPerSector), want.at(r.deviceId))
        << r.deviceId;
  EXPECT_EQ(probed, (std::vector<std::string>{"/dev/sdb", "/dev/sdc", "/dev/sdd", "/dev/sde"}))
      << "only unsized SCSI disks are probed";
  ASSERT_EQ(recs[3].notes.size(), 1U);
  EXPECT_NE(recs[3].notes[0].find("needs root or the disk group"), std::string::npos) << recs[3].notes[0];
}

// A disk that reports no model of its own (a virtio disk: vendor "0x1af4",
// no model file) is still listed with a model: udev's, then its driver's
// (then its kernel name, as the broken-attribute rows below show).
struct ModelCase {
  const char* name;
  std::map<std::string, std::string> udev;  // properties udev knows
  const char* driver;                       // device/driver link target
  const char* model;                        // what is listed
  const char* serial;
};
class ModelFallback : public FakeSysfsTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelFallback, NeverAnEmptyModel) {
  disk("vda", "254:0", 500118192);
  put("vda/device/vendor", "0x1af4");
  put("vda/serial", "virtio-serial-7");
  std::filesystem::create_directory_symlink("../../../bus/virtio/drivers/" + std::string(GetParam().driver),
                                            root / "block/vda/device/driver");
  LinuxDriveEnumerator e = enumerator();
  e.setUdevProperty([props = GetParam().udev](const std::string& name, const std::string& key) {
    auto it = props.find(key);
    return name == "vda" && it != props.end() ? it->second : std::string();
  });
  const auto drives = e.drives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].model, GetParam().model);
  EXPECT_EQ(drives[0].serial, GetParam().serial);
}

INSTANTIATE_TEST_SUITE_P(
    Virtio, ModelFallback,
    ::testing::Values(ModelCase{"UdevModel",
                                {{"ID_MODEL", "QEMU_HARDDISK"}, {"ID_MODEL_FROM_DATABASE", "Virtio block device"}},
                                "virtio_blk",
                                "QEMU HARDDISK",
                                "virtio-serial-7"},
                      ModelCase{"UdevDatabaseModel",
                                {{"ID_MODEL_FROM_DATABASE", "Virtio block device"}, {"ID_SERIAL_SHORT", "S1"}},
                                "virtio_blk",
                                "Virtio block device",
                                "S1"},
                      ModelCase{"NoUdevVirtio", {}, "virtio_blk", "Virtio Block Device", "virtio-serial-7"},
                      ModelCase{"OtherDriver", {}, "foo_blk", "foo_blk", "virtio-serial-7"}),
    ByName());

// One thing of sdb's cannot be read or makes no sense; sda and sdc are whole.
// What of sdb was still read: its size, model, sector size, device number
// and whether it holds a medium.
struct Sdb {
  std::uint64_t size;
  const char* model;
  std::uint32_t bytesPerSector;
  std::uint64_t devNumber;
  bool mediaPresent;
};
const Sdb kWholeSdb{2000u * 512, "Half Readable", 4096, makedev(240, 16), true};
const Sdb kUnsizedSdb{0, "Half Readable", 4096, makedev(240, 16), false};
struct BrokenAttribute {
  const char* name;
  std::function<void(FakeSysfsTest&)> breakIt;
  const char* note;  // sdb's record notes this; "": sdb has no note
  Sdb read;
};
class SysfsWith : public FakeSysfsTest, public ::testing::WithParamInterface<BrokenAttribute> {};

TEST_P(SysfsWith, KeepsTheDriveAsFarAsItWasRead) {
  disk("sda", "240:0", 1000);
  disk("sdb", "240:16", 2000, 4096);
  put("sdb/device/model", "Half Readable");
  disk("sdc", "240:32", 3000);
  mounts("");
  GetParam().breakIt(*this);
  const auto records = enumerator().drives();
  ASSERT_EQ(names(records), (std::vector<std::string>{"/dev/sda", "/dev/sdb", "/dev/sdc"}));
  EXPECT_EQ(std::tuple(records[0].size, records[2].size, records[0].notes.size() + records[2].notes.size()),
            std::tuple(1000u * 512, 3000u * 512, 0u));
  const DriveRecord& sdb = records[1];
  const std::string note = GetParam().note;
  const bool noted =
      note.empty() ? sdb.notes.empty() : std::any_of(sdb.notes.begin(), sdb.notes.end(), [&](const std::string& n) {
        return n.find(note) != std::string::npos;
      });
  EXPECT_TRUE(noted) << ::testing::PrintToString(sdb.notes);
  const Sdb& want = GetParam().read;
  EXPECT_EQ(std::tuple(sdb.size, sdb.model, sdb.bytesPerSector, sdb.devNumber, sdb.mediaPresent),
            std::tuple(want.size, want.model, want.bytesPerSector, want.devNumber, want.mediaPresent));
}

INSTANTIATE_TEST_SUITE_P(
    Broken, SysfsWith,
    ::testing::Values(
        BrokenAttribute{"AnEntryThatCannotBeExamined", [](FakeSysfsTest& t) { t.loopingLink("sdb/holders"); },
                        "holders could not be examined: Too many levels of symbolic links", kWholeSdb},
        BrokenAttribute{"ItsFolderCannotBeExamined",
                        [](FakeSysfsTest& t) { t.loopingLink("sdb"); },
                        "/block/sdb could not be examined: Too many levels of symbolic links",
                        {0, "sdb", 0, 0, false}},
        BrokenAttribute{"SizeUnreadable", [](FakeSysfsTest& t) { t.unreadable("sdb/size"); },
                        "size could not be read: Is a directory", kUnsizedSdb},
        BrokenAttribute{"SizeGarbled", [](FakeSysfsTest& t) { t.put("sdb/size", "not-a-number"); },
                        "size is not a number: \"not-a-number\"", kUnsizedSdb},
        BrokenAttribute{"SizeOverflows", [](FakeSysfsTest& t) { t.put("sdb/size", "999999999999999999999999"); },
                        "size is not a number: \"999999999999999999999999\"", kUnsizedSdb},
        BrokenAttribute{"SizeTooLargeToBeTrue", [](FakeSysfsTest& t) { t.put("sdb/size", "99999999999999999"); },
                        "size is too large to be true: 99999999999999999 sectors", kUnsizedSdb},
        BrokenAttribute{"NoAttributesAtAll",
                        [](FakeSysfsTest& t) {
                          std::filesystem::remove_all(t.root / "block/sdb");
                          std::filesystem::create_directories(t.root / "block/sdb");
                        },
                        "size is missing",
                        {0, "sdb", 512, 0, false}},
        BrokenAttribute{"ControlBytesInTheModel",
                        [](FakeSysfsTest& t) { t.put("sdb/device/model", "\x01Half\tReadable\x02"); }, "", kWholeSdb},
        BrokenAttribute{"SectorSizeGarbled",
                        [](FakeSysfsTest& t) { t.put("sdb/queue/logical_block_size", "four kilobytes"); },
                        "queue/logical_block_size is not a number: \"four kilobytes\"; 512 assumed",
                        {2000u * 512, "Half Readable", 512, makedev(240, 16), true}},
        BrokenAttribute{"DeviceNumberGarbled",
                        [](FakeSysfsTest& t) { t.put("sdb/dev", "garbage"); },
                        "dev is not a device number: \"garbage\"",
                        {2000u * 512, "Half Readable", 4096, 0, true}},
        BrokenAttribute{"ModelUnreadable",
                        [](FakeSysfsTest& t) { t.unreadable("sdb/device/model"); },
                        "device/model could not be read: Is a directory",
                        {2000u * 512, "sdb", 4096, makedev(240, 16), true}}),
    ByName());

TEST_F(FakeSysfsTest, DriveTableKeepsNumbersAndNoticesChangedOrRemovedDisks) {
  disk("sda", "8:0", 1000);
  disk("sdb", "8:16", 2000);
  mounts("");
  LinuxDriveEnumerator e = enumerator();
  std::string sdbWwn = "wwn-0x5000";  // what udev knows of sdb
  e.setUdevProperty([&](const std::string& name, const std::string& key) {
    return name == "sdb" && key == "ID_WWN" ? sdbWwn : std::string();
  });
  LinuxDriveTable table(e, e.drives());
  ASSERT_TRUE(table.drive(1).has_value());
  EXPECT_EQ(std::pair(table.drive(1)->node, table.drive(1)->sizeBytes),
            std::pair(std::string("/dev/sdb"), 2000ul * 512));
  EXPECT_EQ(table.deviceNumber(0), static_cast<std::uint64_t>(makedev(8, 0)));
  EXPECT_EQ(table.checkUnchanged(0), "");
  EXPECT_TRUE(table.rescan().empty());
  // Unknown drives are refused, and open as a failed source, never null.
  EXPECT_FALSE(table.checkUnchanged(7).empty());
  EXPECT_FALSE(table.drive(7).has_value());
  auto src = table.openSource(7);
  ASSERT_NE(src, nullptr);
  std::byte b[16];
  EXPECT_TRUE(src->read(b).failed());

  // sda goes, sdc comes: sdc is drive 2 (not 1, though it is second now).
  std::filesystem::remove_all(root / "block" / "sda");
  disk("sdc", "8:32", 3000);
  EXPECT_EQ(table.checkUnchanged(0), "the drive at /dev/sda is no longer attached");
  DriveChanges c = table.rescan();
  EXPECT_EQ(c.detached, std::vector<int>{0});
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(std::pair(c.attached[0].deviceId, c.attached[0].number), std::pair(std::string("/dev/sdc"), 2));
  EXPECT_EQ(table.drive(1)->node, "/dev/sdb");
  EXPECT_EQ(table.drive(2)->node, "/dev/sdc");

  // Another disk at sda's node is a new drive, never drive 0 again; drive
  // 0's job is still refused: its record now meets another disk.
  disk("sda", "8:0", 5000);
  c = table.rescan();
  EXPECT_TRUE(c.detached.empty());
  ASSERT_EQ(c.attached.size(), 1u);
  EXPECT_EQ(c.attached[0].number, 3);
  EXPECT_FALSE(table.checkUnchanged(0).empty());
  EXPECT_TRUE(table.checkUnchanged(3).empty());

  // Another disk in sdb's slot: told by its WWN, or by its size, which is
  // named first when both changed. (Its first 64 KiB are the engine's
  // refusal rows'; another file behind a loop device the loop tests'.)
  const std::string changed = "the drive at /dev/sdb has changed since it was listed ";
  sdbWwn = "wwn-0x5001";
  EXPECT_EQ(table.checkUnchanged(1), changed + "(it is another disk (serial or WWN changed))");
  put("sdb/size", "3000");
  EXPECT_EQ(table.checkUnchanged(1), changed + "(its size changed)");
}

}  // namespace
}  // namespace mdi
