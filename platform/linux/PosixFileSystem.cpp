#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/BlockProbe.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>

namespace mdi {

PathKind PosixFileSystem::kind(const std::string& path) const {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  if (S_ISBLK(st.st_mode)) return PathKind::BlockDevice;
  if (S_ISCHR(st.st_mode)) return PathKind::CharDevice;
  return PathKind::Other;
}

bool PosixFileSystem::isLink(const std::string& path) const {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::optional<std::uint64_t> PosixFileSystem::fileSize(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> PosixFileSystem::freeBytes(const std::string& path) const {
  struct statvfs vs {};
  if (::statvfs(path.c_str(), &vs) != 0) return std::nullopt;
  const std::uint64_t blocks = ::geteuid() == 0 ? vs.f_bfree : vs.f_bavail;
  return blocks * static_cast<std::uint64_t>(vs.f_frsize);
}

int PosixFileSystem::createFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) return ec.value();
  return kind(path) == PathKind::Directory ? 0 : ENOTDIR;
}

bool PosixFileSystem::isWritableFolder(const std::string& path) const {
  return kind(path) == PathKind::Directory && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string PosixFileSystem::canonical(const std::string& path) const {
  std::error_code ec;
  auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  if (ec) return std::filesystem::path(path).lexically_normal().string();
  return p.string();
}

std::optional<std::uint64_t> PosixFileSystem::deviceOf(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  if (S_ISBLK(st.st_mode)) return static_cast<std::uint64_t>(st.st_rdev);
  return static_cast<std::uint64_t>(st.st_dev);
}

std::optional<std::uint64_t> PosixFileSystem::blockDeviceNumber(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_rdev);
}

std::optional<FileId> PosixFileSystem::fileId(const std::string& path) const {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<BlockDeviceInfo> PosixFileSystem::blockDevice(const std::string& path) const {
  return probeBlockDevice(path);
}

}  // namespace mdi
