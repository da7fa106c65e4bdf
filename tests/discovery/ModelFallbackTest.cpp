// A disk that reports no model of its own (a virtio disk: vendor "0x1af4",
// no model file) is still listed with a model: udev's, then its driver's.
#include <gtest/gtest.h>

#include <map>

#include "platform/linux/LinuxDriveEnumerator.h"
#include "tests/CaseName.h"
#include "tests/TestDir.h"
#include "tests/VirtioSysfs.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

struct ModelCase {
  const char* name;
  std::map<std::string, std::string> udev;  // properties udev knows
  const char* driver;                       // device/driver link target, "" for none
  const char* model;                        // what is listed
  const char* serial;
};
class ModelFallback : public ::testing::TestWithParam<ModelCase> {
 protected:
  void SetUp() override {
    root = testDir("mdi-model-");
    fs::remove_all(root);
    makeVirtioDisk(root, "500118192", GetParam().driver);
    putSysfs(root, "block/vda/serial", "virtio-serial-7");
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

TEST_P(ModelFallback, NeverAnEmptyModel) {
  LinuxDriveEnumerator e(root.string(), (root / "mountinfo").string());
  const auto props = GetParam().udev;
  e.setUdevProperty([props](const std::string& name, const std::string& key) {
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
    ::testing::Values(
        ModelCase{"UdevModel", {{"ID_MODEL", "QEMU_HARDDISK"}, {"ID_MODEL_FROM_DATABASE", "Virtio block device"}},
                  "virtio_blk", "QEMU HARDDISK", "virtio-serial-7"},
        ModelCase{"UdevDatabaseModel", {{"ID_MODEL_FROM_DATABASE", "Virtio block device"}, {"ID_SERIAL_SHORT", "S1"}},
                  "virtio_blk", "Virtio block device", "S1"},
        ModelCase{"VirtioDriver", {}, "virtio_blk", "Virtio Block Device", "virtio-serial-7"},
        ModelCase{"OtherDriver", {}, "foo_blk", "foo_blk", "virtio-serial-7"},
        ModelCase{"NothingKnown", {}, "", "vda", "virtio-serial-7"}),
    ByName());

}  // namespace
}  // namespace mdi
