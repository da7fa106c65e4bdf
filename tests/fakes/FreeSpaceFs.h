#pragma once
// The real file system, but with the free space it reports, and paths it
// answers as block devices (as a probe of the device would), set by a test.
#include <map>

#include "tests/fakes/ForwardingFileSystem.h"

namespace mdi {

class FreeSpaceFs final : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::optional<std::uint64_t> freeBytes(const std::string& p) const override {
    return free ? free : m_real.freeBytes(p);
  }
  std::optional<BlockDeviceInfo> blockDevice(const std::string& p) const override {
    if (auto it = devices.find(p); it != devices.end()) return it->second;
    return m_real.blockDevice(p);
  }
  std::optional<std::uint64_t> free;
  std::map<std::string, BlockDeviceInfo> devices;
};

}  // namespace mdi
