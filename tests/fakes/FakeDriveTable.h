#pragma once
// A drive inventory given as data: each drive is a file or loop device that
// stands in for the disk, with the identity discovery would have recorded.
#include <map>

#include "platform/DriveTable.h"
#include "platform/RawIo.h"
#include "tests/fakes/Gate.h"

namespace mdi {

class FakeDriveTable final : public DriveTable {
 public:
  explicit FakeDriveTable(FileAccess& files) : m_files(files) {}
  struct Entry {
    DriveIdentity identity;
    std::string backingPath;  // what openSource opens
    std::uint64_t devNumber = 0;
    std::string changedReason;  // non-empty: the drive was swapped
  };
  // What the operator is shown of a drive besides its identity.
  struct Details {
    std::string model;  // as the device reports it
    std::string serial;
    std::uint32_t bytesPerSector = 512;
    int protectionType = 0;          // as READ CAPACITY(16) reports it
    bool passThroughDenied = false;  // read only through pass-through, which this user may not
  };
  void add(int number, Entry e) { m_drives[number] = std::move(e); }
  void describe(int number, Details d) { m_details[number] = std::move(d); }
  void unplug(int number) { m_drives.erase(number); }
  // Paths whose filesystem lies on these drives: the folder and all in it.
  void setDrivesUnder(const std::string& path, std::vector<int> d) { m_under[path] = std::move(d); }

  std::optional<DriveIdentity> drive(int number) const override;
  std::string checkUnchanged(int number) const override;
  std::unique_ptr<Source> openSource(int number) override;
  std::optional<std::uint64_t> deviceNumber(int number) const override;
  std::vector<int> drivesUnder(const std::string& path) const override;
  std::optional<DriveRecord> listedRecord(int number) const override;
  // Opened sources, for checks that the run opens drives read-only.
  std::vector<int> opened;
  // Drives whose identity check (which reads the drive) hangs until released.
  std::map<int, std::shared_ptr<Gate>> probeGates;

 private:
  FileAccess& m_files;
  std::map<int, Entry> m_drives;
  std::map<int, Details> m_details;
  std::map<std::string, std::vector<int>> m_under;
};

}  // namespace mdi
