#pragma once
// The descriptors this process holds on a file or device, looked at
// themselves: some kernels let a read-only loop device be opened for
// writing, so what the program asked for is read back from /proc.
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace mdi::test {

// Open descriptors of this process that name `path`, with their access mode.
inline std::vector<int> accessModesOf(const std::string& path) {
  namespace fs = std::filesystem;
  std::vector<int> modes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(e.path(), ec) != fs::path(path) || ec) continue;
    std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
    for (std::string key, octal; info >> key;)
      if (key == "flags:" && info >> octal) modes.push_back(std::stoi(octal, nullptr, 8) & O_ACCMODE);
  }
  return modes;
}

}  // namespace mdi::test
