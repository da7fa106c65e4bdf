#pragma once
// A file system that hands every call to another one: a test overrides only
// the answers it changes.
#include <map>

#include "platform/FileSystem.h"

namespace mdi {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& real) : m_real(real) {}
  PathKind kind(const std::string& p) const override { return m_real.kind(p); }
  bool isLink(const std::string& p) const override { return m_real.isLink(p); }
  std::optional<std::uint64_t> fileSize(const std::string& p) const override { return m_real.fileSize(p); }
  std::optional<std::uint64_t> freeBytes(const std::string& p) const override { return m_real.freeBytes(p); }
  int createFolder(const std::string& p) override { return m_real.createFolder(p); }
  bool isWritableFolder(const std::string& p) const override { return m_real.isWritableFolder(p); }
  std::string canonical(const std::string& p) const override { return m_real.canonical(p); }
  std::optional<std::uint64_t> deviceOf(const std::string& p) const override { return m_real.deviceOf(p); }
  std::optional<std::uint64_t> blockDeviceNumber(const std::string& p) const override {
    return m_real.blockDeviceNumber(p);
  }
  std::optional<FileId> fileId(const std::string& p) const override { return m_real.fileId(p); }
  std::optional<BlockDeviceInfo> blockDevice(const std::string& p) const override { return m_real.blockDevice(p); }

 protected:
  FileSystem& m_real;
};

// The real file system, but with the free space it reports, and paths it
// answers as block devices (as a probe of the device would), set by a test.
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
