#pragma once
#include "platform/FileSystem.h"

namespace mdi {

class PosixFileSystem final : public FileSystem {
 public:
  PathKind kind(const std::string& path) const override;
  bool isLink(const std::string& path) const override;
  std::optional<std::uint64_t> fileSize(const std::string& path) const override;
  std::optional<std::uint64_t> freeBytes(const std::string& path) const override;
  int createFolder(const std::string& path) override;
  bool isWritableFolder(const std::string& path) const override;
  std::string canonical(const std::string& path) const override;
  std::optional<std::uint64_t> deviceOf(const std::string& path) const override;
  std::optional<std::uint64_t> blockDeviceNumber(const std::string& path) const override;
  std::optional<FileId> fileId(const std::string& path) const override;
  std::optional<BlockDeviceInfo> blockDevice(const std::string& path) const override;
};

}  // namespace mdi
