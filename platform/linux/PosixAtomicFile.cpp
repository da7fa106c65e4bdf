#include "platform/linux/PosixAtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace mdi {

namespace {

int writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  return err;
}

std::string folderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path().string() : std::string(".");
}

}  // namespace

int PosixAtomicFile::write(const std::string& path, std::string_view contents) {
  const std::filesystem::path target(path);
  if (!target.has_filename()) return EISDIR;
  const std::string folder = folderOf(target);
  const std::string name = target.filename().string();

  std::string temp;
  int fd = -1;
  // O_EXCL: never write into a file someone else made; another name is
  // tried when one is taken.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "/." + name + "." + std::to_string(::getpid()) + "." + std::to_string(m_serial++) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;

  int err = writeAll(fd, contents);
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return err;
  }
  return syncFolder(folder);
}

int PosixAtomicFile::remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return errno == ENOENT ? 0 : errno;
  return syncFolder(folderOf(path));
}

}  // namespace mdi
