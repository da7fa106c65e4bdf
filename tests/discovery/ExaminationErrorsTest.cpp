// Discovery on a sysfs tree with something that cannot be read: the drive
// stays listed as far as it was read, and a doubt about which drives hold
// the system marks every drive as a system drive.
#include <gtest/gtest.h>

#include <functional>

#include "discovery/LinuxDriveTable.h"
#include "tests/discovery/FakeSysfs.h"

namespace mdi {
namespace {

// One thing of sdb's cannot be read or makes no sense; sda and sdc are whole.
struct BrokenAttribute {
  const char* name;
  std::function<void(FakeSysfsTest&)> breakIt;
  const char* note;                               // sdb's record notes this
  std::function<void(const DriveRecord&)> check;  // what of sdb was still read
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
  EXPECT_EQ(records[0].size, 1000u * 512);
  EXPECT_EQ(records[2].size, 3000u * 512);
  EXPECT_TRUE(records[0].notes.empty());
  EXPECT_TRUE(records[2].notes.empty());
  EXPECT_TRUE(notes(records[1], GetParam().note)) << ::testing::PrintToString(records[1].notes);
  GetParam().check(records[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Broken, SysfsWith,
    ::testing::Values(
        BrokenAttribute{"AnEntryThatCannotBeExamined", [](FakeSysfsTest& t) { t.loopingLink("sdb/holders"); },
                        "holders could not be examined: Too many levels of symbolic links",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 2000u * 512);
                          EXPECT_EQ(d.model, "Half Readable");
                        }},
        BrokenAttribute{"ItsFolderCannotBeExamined", [](FakeSysfsTest& t) { t.loopingLink("sdb"); },
                        "/block/sdb could not be examined: Too many levels of symbolic links",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 0u);
                          EXPECT_FALSE(d.mediaPresent);
                        }},
        BrokenAttribute{"SizeUnreadable", [](FakeSysfsTest& t) { t.unreadable("sdb/size"); },
                        "size could not be read: Is a directory",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 0u);
                          EXPECT_EQ(d.model, "Half Readable");
                          EXPECT_EQ(d.bytesPerSector, 4096u);
                        }},
        BrokenAttribute{"SectorSizeGarbled",
                        [](FakeSysfsTest& t) { t.put("sdb/queue/logical_block_size", "four kilobytes"); },
                        "queue/logical_block_size is not a number: \"four kilobytes\"; 512 assumed",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 2000u * 512);
                          EXPECT_EQ(d.bytesPerSector, 512u);
                        }},
        BrokenAttribute{"DeviceNumberGarbled", [](FakeSysfsTest& t) { t.put("sdb/dev", "garbage"); },
                        "dev is not a device number: \"garbage\"",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 2000u * 512);
                          EXPECT_EQ(d.devNumber, 0u);
                        }},
        BrokenAttribute{"ModelUnreadable", [](FakeSysfsTest& t) { t.unreadable("sdb/device/model"); },
                        "device/model could not be read: Is a directory",
                        [](const DriveRecord& d) {
                          EXPECT_EQ(d.size, 2000u * 512);
                          EXPECT_EQ(d.model, "sdb");
                        }}),
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

TEST_P(SystemDecisionFails, MarksEveryDriveAsASystemDrive) {
  LinuxDriveEnumerator e = enumerator();
  std::vector<DriveRecord> listed;
  const FormState form = listedGrid(e, {root.string()}, &listed);
  ASSERT_GE(form.iGrid1.rowCount(), 2);
  for (int row = 1; row <= form.iGrid1.rowCount(); ++row)
    EXPECT_EQ(form.iGrid1.backColor(row, 1), kSystemDriveBack) << "row " << row << ": " << form.iGrid1.value(row, 2);
  EXPECT_NE(form.SystemDisks.find("/dev/sda,"), std::string::npos);
  EXPECT_NE(form.SystemDisks.find("/dev/sdb,"), std::string::npos);
  // Why, on the record of each drive it was not known to hold the system.
  const DriveRecord* sda = byNode(listed, "/dev/sda");
  ASSERT_NE(sda, nullptr);
  EXPECT_TRUE(notes(*sda, "Counted as a system drive: the drives under " + root.string() + " could not all be found ("))
      << ::testing::PrintToString(sda->notes);
}

// The drive table a run checks its target against answers alike: every
// drive may be under the folder, so a target there is on every source.
TEST_P(SystemDecisionFails, DriveTableCountsEveryDriveUnderTheFolder) {
  LinuxDriveEnumerator e = enumerator();
  const std::vector<DriveRecord> records = e.drives();
  LinuxDriveTable table(e, records);
  std::vector<int> all;
  for (const DriveRecord& r : records) all.push_back(r.number);
  EXPECT_EQ(table.drivesUnder(root.string()), all);
  EXPECT_FALSE(e.disksUnder(root.string()).failure.empty());
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
