#include "tests/fakes/FakeDriveTable.h"

#include <cerrno>

namespace mdi {

std::optional<DriveIdentity> FakeDriveTable::drive(int number) const {
  auto it = m_drives.find(number);
  if (it == m_drives.end()) return std::nullopt;
  return it->second.identity;
}

std::string FakeDriveTable::checkUnchanged(int number) const {
  auto it = m_drives.find(number);
  const std::string why = it == m_drives.end() ? "the drive is no longer attached" : it->second.changedReason;
  // Held last, so that once let go the check touches nothing of a table a
  // finished test has destroyed.
  if (auto g = probeGates.find(number); g != probeGates.end()) g->second->hold();
  return why;
}

std::unique_ptr<Source> FakeDriveTable::openSource(int number) {
  opened.push_back(number);
  auto it = m_drives.find(number);
  if (it == m_drives.end()) return std::make_unique<FailedSource>(ENODEV, "the drive is no longer attached");
  return m_files.openSource(it->second.backingPath);
}

std::optional<std::uint64_t> FakeDriveTable::deviceNumber(int number) const {
  auto it = m_drives.find(number);
  if (it == m_drives.end()) return std::nullopt;
  return it->second.devNumber;
}

std::vector<int> FakeDriveTable::drivesUnder(const std::string& path) const {
  for (const auto& [folder, d] : m_under)
    if (path == folder || path.rfind(folder + "/", 0) == 0) return d;
  return {};
}

std::optional<DriveRecord> FakeDriveTable::listedRecord(int number) const {
  auto it = m_drives.find(number);
  if (it == m_drives.end()) return std::nullopt;
  const Entry& e = it->second;
  const auto d = m_details.find(number);
  const Details details = d == m_details.end() ? Details{} : d->second;
  DriveRecord r;
  r.number = number;
  r.deviceId = e.identity.node;
  r.model = details.model;
  r.size = e.identity.sizeBytes;
  r.bytesPerSector = details.bytesPerSector;
  r.pnpDeviceId = e.identity.persistentId;
  r.serial = details.serial;
  r.mediaPresent = r.size > 0;
  r.devNumber = e.devNumber;
  r.protectionType = details.protectionType;
  r.passThrough = r.passThroughDenied = details.passThroughDenied;
  return r;
}

}  // namespace mdi
