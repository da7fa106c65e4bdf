#pragma once
// The drive table of a running window: the records discovery listed, with
// their device nodes re-checked against the live system before a run.
#include <set>
#include <vector>

#include "discovery/DriveChanges.h"
#include "platform/DriveEnumerator.h"
#include "platform/DriveTable.h"
#include "platform/linux/DeviceOpener.h"
#include "platform/linux/LinuxDriveEnumerator.h"

namespace mdi {

class LinuxDriveTable final : public DriveTable {
 public:
  // opener: how drives are opened for a user who may not open them
  // himself; null opens them directly only.
  LinuxDriveTable(LinuxDriveEnumerator& enumerator, std::vector<DriveRecord> listed, DeviceOpener* opener = nullptr)
      : m_enumerator(enumerator), m_records(std::move(listed)), m_opener(opener) {}

  std::optional<DriveIdentity> drive(int number) const override;
  std::string checkUnchanged(int number) const override;
  std::unique_ptr<Source> openSource(int number) override;
  void beginRun() override;
  std::optional<std::uint64_t> deviceNumber(int number) const override;
  // Every drive listed when the disks under `path` cannot all be found.
  std::vector<int> drivesUnder(const std::string& path) const override;
  std::optional<DriveRecord> listedRecord(int number) const override;
  bool isAttached(int number) const override;

  // Brings the table up to the drives attached now. A drive still attached
  // (same node, persistent id, size and model) keeps its number; a new one
  // gets a number never given before; a detached one is reported. Records
  // of detached drives stay, so Run's unchanged-drive check names them.
  DriveChanges rescan();
  // The same, with the drives as the enumerator listed them just now
  // (gathered on another thread).
  DriveChanges rescan(std::vector<DriveRecord> now);

 private:
  const DriveRecord* find(int number) const;
  LinuxDriveEnumerator& m_enumerator;
  std::vector<DriveRecord> m_records;
  DeviceOpener* m_opener;
  // Numbers of the records that are attached as of the last rescan; empty
  // until the first rescan, when every listed record is.
  std::optional<std::set<int>> m_attached;
};

}  // namespace mdi
