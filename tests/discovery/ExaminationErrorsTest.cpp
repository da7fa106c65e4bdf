// Discovery on a sysfs tree where a disk does not say everything, or
// something cannot be read: the drive stays listed as far as it was read,
// with a model all the same.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

#include "tests/VirtioSysfs.h"
#include "tests/discovery/FakeSysfs.h"

namespace mdi {
namespace {

// A disk that reports no model of its own (a virtio disk: vendor "0x1af4",
// no model file) is still listed with a model: udev's, then its driver's
// (then its kernel name, as the listing test shows).
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

}  // namespace
}  // namespace mdi
