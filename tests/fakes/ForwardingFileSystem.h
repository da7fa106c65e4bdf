#pragma once
// A file system that hands every call to another one: a test overrides only
// the answers it changes.
#include "platform/FileSystem.h"

namespace mdi {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& real) : m_real(real) {}
  PathKind kind(const std::string& p) const override { return m_real.kind(p); }
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

}  // namespace mdi
