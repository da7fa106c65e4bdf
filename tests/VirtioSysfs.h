#pragma once
// A fake sysfs tree holding one virtio disk as the kernel shows it: vendor
// "0x1af4", no model file, optionally bound to a driver by name.
#include <filesystem>
#include <fstream>
#include <string>

namespace mdi {

inline void putSysfs(const std::filesystem::path& root, const std::string& rel, const std::string& text) {
  std::filesystem::create_directories((root / rel).parent_path());
  std::ofstream(root / rel) << text << "\n";
}

inline void makeVirtioDisk(const std::filesystem::path& root, const std::string& sectors, const std::string& driver) {
  putSysfs(root, "block/vda/dev", "254:0");
  putSysfs(root, "block/vda/size", sectors);
  putSysfs(root, "block/vda/queue/logical_block_size", "512");
  putSysfs(root, "block/vda/device/vendor", "0x1af4");
  if (!driver.empty())
    std::filesystem::create_directory_symlink("../../../bus/virtio/drivers/" + driver,
                                              root / "block/vda/device/driver");
  putSysfs(root, "mountinfo", "");
}

}  // namespace mdi
