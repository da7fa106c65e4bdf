#pragma once
// The drive table of a running window: the records discovery listed, with
// their device nodes re-checked against the live system before a run.
#include <vector>

#include "platform/DriveEnumerator.h"
#include "platform/DriveTable.h"
#include "platform/linux/LinuxDriveEnumerator.h"

namespace mdi {

class LinuxDriveTable final : public DriveTable {
 public:
  LinuxDriveTable(LinuxDriveEnumerator& enumerator, std::vector<DriveRecord> listed)
      : m_enumerator(enumerator), m_records(std::move(listed)) {}

  std::optional<DriveIdentity> drive(int number) const override;
  std::string checkUnchanged(int number) const override;
  std::unique_ptr<Source> openSource(int number) override;
  std::optional<std::uint64_t> deviceNumber(int number) const override;
  std::vector<int> drivesUnder(const std::string& path) const override;
  std::optional<DriveRecord> listedRecord(int number) const override;

 private:
  const DriveRecord* find(int number) const;
  LinuxDriveEnumerator& m_enumerator;
  std::vector<DriveRecord> m_records;
};

}  // namespace mdi
