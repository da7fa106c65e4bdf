// Discovery on a sysfs tree where a disk does not say everything, or
// something cannot be read: the drive stays listed as far as it was read,
// with a model all the same, and a doubt about which drives hold the system
// marks every drive as a system drive.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <functional>
#include <map>
#include <tuple>

#include "discovery/LinuxDriveTable.h"
#include "tests/VirtioSysfs.h"
#include "tests/discovery/FakeSysfs.h"

namespace mdi {
namespace {

// A disk that reports no model of its own (a virtio disk: vendor "0x1af4",
// no model file) is still listed with a model: udev's, then its driver's.
struct ModelCase {
  const char* name;
  std::map<std::string, std::string> udev;  // properties udev knows
  const char* driver;                       // device/driver link target, "" for none
  const char* model;                        // what is listed
  const char* serial;
};
class ModelFallback : public FakeSysfsTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelFallback, NeverAnEmptyModel) {
  makeVirtioDisk(root, "500118192", GetParam().driver);
  put("vda/serial", "virtio-serial-7");
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
                      ModelCase{"OtherDriver", {}, "foo_blk", "foo_blk", "virtio-serial-7"},
                      ModelCase{"NothingKnown", {}, "", "vda", "virtio-serial-7"}),
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
struct BrokenAttribute {
  const char* name;
  std::function<void(FakeSysfsTest&)> breakIt;
  const char* note;  // sdb's record notes this
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
  EXPECT_TRUE(notes(sdb, GetParam().note)) << ::testing::PrintToString(sdb.notes);
  const Sdb& want = GetParam().read;
  EXPECT_EQ(std::tuple(sdb.size, sdb.model, sdb.bytesPerSector, sdb.devNumber, sdb.mediaPresent),
            std::tuple(want.size, want.model, want.bytesPerSector, want.devNumber, want.mediaPresent));
}

INSTANTIATE_TEST_SUITE_P(
    Broken, SysfsWith,
    ::testing::Values(BrokenAttribute{"AnEntryThatCannotBeExamined",
                                      [](FakeSysfsTest& t) { t.loopingLink("sdb/holders"); },
                                      "holders could not be examined: Too many levels of symbolic links", kWholeSdb},
                      BrokenAttribute{"ItsFolderCannotBeExamined",
                                      [](FakeSysfsTest& t) { t.loopingLink("sdb"); },
                                      "/block/sdb could not be examined: Too many levels of symbolic links",
                                      {0, "sdb", 0, 0, false}},
                      BrokenAttribute{"SizeUnreadable",
                                      [](FakeSysfsTest& t) { t.unreadable("sdb/size"); },
                                      "size could not be read: Is a directory",
                                      {0, "Half Readable", 4096, makedev(240, 16), false}},
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

// Something stands in the way of following the program's folder down to its
// disks. Which drives hold the system cannot be told, so all of them count.
struct SystemDoubt {
  const char* name;
  // Lays out the tree; `here` is the folder's device number ("major:minor").
  std::function<void(FakeSysfsTest&, const std::string& here)> layOut;
};
class SystemDecisionFails : public FakeSysfsTest, public ::testing::WithParamInterface<SystemDoubt> {
 protected:
  void SetUp() override {
    FakeSysfsTest::SetUp();
    disk("sda", "240:0", 1000);
    disk("sdb", "240:16", 2000);
    mounts("");
    const std::string here = devOf(root);
    ASSERT_FALSE(here.empty());
    GetParam().layOut(*this, here);
  }
};

// Discovery marks every drive, and says why on the record of each drive it
// was not known to hold the system. The drive table a run checks its target
// against answers alike: every drive may be under the folder, so a target
// there is on every source.
TEST_P(SystemDecisionFails, EveryDriveCountsAsASystemDriveAndAsUnderTheFolder) {
  LinuxDriveEnumerator e = enumerator();
  EXPECT_FALSE(e.disksUnder(root.string()).failure.empty());
  std::vector<DriveRecord> listed;
  const FormState form = listedGrid(e, {root.string()}, &listed);
  ASSERT_GE(form.iGrid1.rowCount(), 2);
  for (int row = 1; row <= form.iGrid1.rowCount(); ++row)
    EXPECT_EQ(form.iGrid1.backColor(row, 1), kSystemDriveBack) << "row " << row << ": " << form.iGrid1.value(row, 2);
  EXPECT_NE(form.SystemDisks.find("/dev/sda,"), std::string::npos);
  EXPECT_NE(form.SystemDisks.find("/dev/sdb,"), std::string::npos);
  const DriveRecord* sda = byNode(listed, "/dev/sda");
  ASSERT_NE(sda, nullptr);
  EXPECT_TRUE(notes(*sda, "Counted as a system drive: the drives under " + root.string() + " could not all be found ("))
      << ::testing::PrintToString(sda->notes);

  const std::vector<DriveRecord> records = e.drives();
  LinuxDriveTable table(e, records);
  std::vector<int> all;
  for (const DriveRecord& r : records) all.push_back(r.number);
  EXPECT_EQ(table.drivesUnder(root.string()), all);
}

INSTANTIATE_TEST_SUITE_P(
    Doubts, SystemDecisionFails,
    ::testing::Values(SystemDoubt{"StackedDeviceWhoseMembersCannotBeListed",
                                  [](FakeSysfsTest& t, const std::string& here) {
                                    t.put("dm-0/dev", here);
                                    t.loopingLink("dm-0/slaves");
                                  }},
                      SystemDoubt{"LoopDeviceWhoseBackingFileIsGone",
                                  [](FakeSysfsTest& t, const std::string& here) {
                                    t.put("loop0/dev", here);
                                    t.put("loop0/size", "64");
                                    t.put("loop0/loop/backing_file", "/mdi-no-such-folder/disk.img");
                                  }},
                      SystemDoubt{"MountTableUnreadable",
                                  [](FakeSysfsTest& t, const std::string&) { t.unreadable("../mountinfo"); }},
                      SystemDoubt{"AnEntryOfADiskCannotBeExamined",
                                  [](FakeSysfsTest& t, const std::string&) { t.loopingLink("sdb/sdb1"); }},
                      SystemDoubt{"DeviceNumberOfADiskGarbled",
                                  [](FakeSysfsTest& t, const std::string&) { t.put("sdb/dev", "garbage"); }}),
    ByName());

}  // namespace
}  // namespace mdi
