#pragma once
// File-system questions a run and the job editor ask before touching data.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/DeviceIdentity.h"

namespace mdi {

enum class PathKind { Missing, Regular, Directory, BlockDevice, CharDevice, Other };

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // What is at path (symlinks followed). Missing when it cannot be stat'ed.
  virtual PathKind kind(const std::string& path) const = 0;
  bool exists(const std::string& path) const { return kind(path) != PathKind::Missing; }
  // True when path itself is a symbolic link, dangling or not (lstat).
  virtual bool isLink(const std::string& path) const = 0;
  // Size in bytes of a regular file; nullopt when it cannot be read.
  virtual std::optional<std::uint64_t> fileSize(const std::string& path) const = 0;
  // Free bytes of the filesystem holding path (statvfs; f_bfree for root,
  // f_bavail otherwise). nullopt when the query fails.
  virtual std::optional<std::uint64_t> freeBytes(const std::string& path) const = 0;
  // Creates the folder and its missing parents. Returns 0 or errno.
  virtual int createFolder(const std::string& path) = 0;
  // True when the folder accepts new files (access W_OK|X_OK).
  virtual bool isWritableFolder(const std::string& path) const = 0;
  // Absolute, normalised path with symlinks resolved as far as the path
  // exists; the missing tail is appended lexically. Used to spot two jobs
  // writing one file.
  virtual std::string canonical(const std::string& path) const = 0;
  // Device number (st_rdev) of a block device, or st_dev of the filesystem
  // holding any other existing path; nullopt when missing.
  virtual std::optional<std::uint64_t> deviceOf(const std::string& path) const = 0;
  virtual std::optional<std::uint64_t> blockDeviceNumber(const std::string& path) const = 0;
  // Identity (st_dev, st_ino) of what is at path, symlinks followed;
  // nullopt when missing.
  virtual std::optional<FileId> fileId(const std::string& path) const = 0;
  // Size, sector size, whole disk and identity of a block device, read
  // through a read-only descriptor; nullopt when path is no block device
  // or cannot be opened.
  virtual std::optional<BlockDeviceInfo> blockDevice(const std::string& path) const = 0;
};

}  // namespace mdi
