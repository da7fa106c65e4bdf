#pragma once
// The file-system and drive questions the checks before a run ask (what is
// at a path, its identity, free space, whether a drive is still the one
// listed, which reads its first 64 KiB): each is asked on a thread of its
// own while the window keeps its events, since a drive or a file system
// that hangs can hold any of them. A Stop confirmed while one is held
// gives the checks up: the question throws ChecksStopped.
#include <functional>
#include <optional>

#include "platform/Aside.h"
#include "platform/DriveTable.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"

namespace mdi {

struct ChecksStopped {};

class AsideAsker {
 public:
  AsideAsker(EventPump& pump, std::function<bool()> stopped) : m_pump(pump), m_stopped(std::move(stopped)) {}
  template <class T>
  T ask(std::function<T()> question) const {
    auto answer = awaitAside<T>(m_pump, m_stopped, std::move(question));
    if (!answer) throw ChecksStopped{};
    return std::move(*answer);
  }

 private:
  EventPump& m_pump;
  std::function<bool()> m_stopped;
};

class AsideFileSystem final : public FileSystem {
 public:
  AsideFileSystem(FileSystem& fs, const AsideAsker& asker) : m_fs(fs), m_asker(asker) {}
  PathKind kind(const std::string& p) const override {
    return m_asker.ask<PathKind>([fs = &m_fs, p] { return fs->kind(p); });
  }
  bool isLink(const std::string& p) const override {
    return m_asker.ask<bool>([fs = &m_fs, p] { return fs->isLink(p); });
  }
  std::optional<std::uint64_t> fileSize(const std::string& p) const override {
    return m_asker.ask<std::optional<std::uint64_t>>([fs = &m_fs, p] { return fs->fileSize(p); });
  }
  std::optional<std::uint64_t> freeBytes(const std::string& p) const override {
    return m_asker.ask<std::optional<std::uint64_t>>([fs = &m_fs, p] { return fs->freeBytes(p); });
  }
  int createFolder(const std::string& p) override {
    return m_asker.ask<int>([fs = &m_fs, p] { return fs->createFolder(p); });
  }
  bool isWritableFolder(const std::string& p) const override {
    return m_asker.ask<bool>([fs = &m_fs, p] { return fs->isWritableFolder(p); });
  }
  std::string canonical(const std::string& p) const override {
    return m_asker.ask<std::string>([fs = &m_fs, p] { return fs->canonical(p); });
  }
  std::optional<std::uint64_t> deviceOf(const std::string& p) const override {
    return m_asker.ask<std::optional<std::uint64_t>>([fs = &m_fs, p] { return fs->deviceOf(p); });
  }
  std::optional<std::uint64_t> blockDeviceNumber(const std::string& p) const override {
    return m_asker.ask<std::optional<std::uint64_t>>([fs = &m_fs, p] { return fs->blockDeviceNumber(p); });
  }
  std::optional<FileId> fileId(const std::string& p) const override {
    return m_asker.ask<std::optional<FileId>>([fs = &m_fs, p] { return fs->fileId(p); });
  }
  std::optional<BlockDeviceInfo> blockDevice(const std::string& p) const override {
    return m_asker.ask<std::optional<BlockDeviceInfo>>([fs = &m_fs, p] { return fs->blockDevice(p); });
  }

 private:
  FileSystem& m_fs;
  const AsideAsker& m_asker;
};

// Asks aside what reaches the system (a drive's probe, the disks under a
// folder); what the table only remembers is answered at once.
class AsideDriveTable final : public DriveTable {
 public:
  AsideDriveTable(DriveTable& drives, const AsideAsker& asker) : m_drives(drives), m_asker(asker) {}
  std::optional<DriveIdentity> drive(int n) const override { return m_drives.drive(n); }
  std::string checkUnchanged(int n) const override {
    return m_asker.ask<std::string>([d = &m_drives, n] { return d->checkUnchanged(n); });
  }
  std::unique_ptr<Source> openSource(int n) override { return m_drives.openSource(n); }
  std::optional<std::uint64_t> deviceNumber(int n) const override { return m_drives.deviceNumber(n); }
  std::vector<int> drivesUnder(const std::string& p) const override {
    return m_asker.ask<std::vector<int>>([d = &m_drives, p] { return d->drivesUnder(p); });
  }
  std::optional<DriveRecord> listedRecord(int n) const override { return m_drives.listedRecord(n); }
  bool isAttached(int n) const override { return m_drives.isAttached(n); }

 private:
  DriveTable& m_drives;
  const AsideAsker& m_asker;
};

}  // namespace mdi
