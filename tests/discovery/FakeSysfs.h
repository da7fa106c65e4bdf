#pragma once
// A throw-away sysfs look-alike for discovery tests: block/<name>/{dev,
// size,...} under a temporary root, with a mount table beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/LinuxDriveEnumerator.h"
#include "tests/CaseName.h"
#include "tests/TestDir.h"

namespace mdi {

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

}  // namespace mdi
