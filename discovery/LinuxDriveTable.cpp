#include "discovery/LinuxDriveTable.h"
#include "platform/linux/ScsiDisk.h"

#include <fcntl.h>
#include <algorithm>
#include <cerrno>

#include "platform/linux/PosixFileAccess.h"

namespace mdi {

const DriveRecord* LinuxDriveTable::find(int number) const {
  for (const DriveRecord& r : m_records)
    if (r.number == number) return &r;
  return nullptr;
}

std::optional<DriveIdentity> LinuxDriveTable::drive(int number) const {
  const DriveRecord* r = find(number);
  if (!r) return std::nullopt;
  return DriveIdentity{r->deviceId, r->size, r->pnpDeviceId, r->loopBacking};
}

std::string LinuxDriveTable::checkUnchanged(int number) const {
  const DriveRecord* r = find(number);
  if (!r) return "drive " + std::to_string(number) + " was not listed at start-up";
  const std::optional<DriveRecord> now = m_enumerator.probe(r->deviceId);
  if (!now) return "the drive at " + r->deviceId + " is no longer attached";
  if (const std::string why = identityChange(identityOf(*r), identityOf(*now)); !why.empty())
    return "the drive at " + r->deviceId + " has changed since it was listed (" + why + ")";
  return {};
}

std::unique_ptr<Source> LinuxDriveTable::openSource(int number) {
  const DriveRecord* r = find(number);
  if (!r) return std::make_unique<FailedSource>(ENODEV, "drive " + std::to_string(number) + " was never listed");
  if (r->passThrough) return openScsiSource(r->deviceId);
  if (m_opener) return m_opener->open(r->deviceId);
  return DeviceOpener(nullptr).open(r->deviceId);
}

void LinuxDriveTable::beginRun() {
  if (m_opener) m_opener->beginRun();
}

std::optional<std::uint64_t> LinuxDriveTable::deviceNumber(int number) const {
  const DriveRecord* r = find(number);
  if (!r) return std::nullopt;
  return r->devNumber;
}

std::vector<int> LinuxDriveTable::drivesUnder(const std::string& path) const {
  std::vector<int> out;
  const LinuxDriveEnumerator::DisksUnder under = m_enumerator.disksUnder(path);
  if (!under.failure.empty()) {
    // Any drive may be under it: a target there counts as on every source,
    // and the run refuses it rather than write over a disk it reads.
    for (const DriveRecord& r : m_records)
      if (std::find(out.begin(), out.end(), r.number) == out.end()) out.push_back(r.number);
    return out;
  }
  // Map the live nodes back to the numbers shown since start-up.
  for (const std::string& node : under.nodes)
    for (const DriveRecord& r : m_records)
      if (r.deviceId == node && std::find(out.begin(), out.end(), r.number) == out.end()) out.push_back(r.number);
  return out;
}

std::optional<DriveRecord> LinuxDriveTable::listedRecord(int number) const {
  const DriveRecord* r = find(number);
  if (!r) return std::nullopt;
  return *r;
}

bool LinuxDriveTable::isAttached(int number) const {
  if (!find(number)) return false;
  return !m_attached || m_attached->count(number) > 0;
}

namespace {
bool sameDrive(const DriveRecord& a, const DriveRecord& b) {
  return a.deviceId == b.deviceId && a.pnpDeviceId == b.pnpDeviceId && a.size == b.size && a.model == b.model &&
         a.bytesPerSector == b.bytesPerSector;
}
}  // namespace

DriveChanges LinuxDriveTable::rescan() { return rescan(m_enumerator.drives()); }

DriveChanges LinuxDriveTable::rescan(std::vector<DriveRecord> listed) {
  if (!m_attached) {
    m_attached.emplace();
    for (const DriveRecord& r : m_records) m_attached->insert(r.number);
  }
  int next = 0;
  for (const DriveRecord& r : m_records) next = std::max(next, r.number + 1);
  DriveChanges changes;
  std::set<int> nowAttached;
  for (DriveRecord& now : listed) {
    const auto known = std::find_if(m_records.begin(), m_records.end(), [&](const DriveRecord& r) {
      return m_attached->count(r.number) && sameDrive(r, now);
    });
    if (known != m_records.end()) {
      nowAttached.insert(known->number);
      continue;
    }
    now.number = next++;
    nowAttached.insert(now.number);
    m_records.push_back(now);
    changes.attached.push_back(now);
  }
  for (int n : *m_attached)
    if (!nowAttached.count(n)) changes.detached.push_back(n);
  m_attached = std::move(nowAttached);
  return changes;
}

}  // namespace mdi
