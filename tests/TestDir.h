#pragma once
// A temporary folder of the running test's own: the prefix, the process id
// and the test's name. A parameterised test's name carries "/N"; it is made
// "_N" so that the folder sits directly in the temporary directory and
// removing it leaves nothing behind. ScratchDir makes one and removes it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace mdi {

inline std::filesystem::path testDir(const std::string& prefix) {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()) + "-" + name);
}

// A folder of the running test's own, empty at the start and removed at the end.
struct ScratchDir {
  explicit ScratchDir(const std::string& prefix) : path(testDir(prefix)) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

}  // namespace mdi
