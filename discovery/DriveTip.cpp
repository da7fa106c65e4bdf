#include "discovery/DriveTip.h"

namespace mdi {

namespace {
// "protection type N" for a disk that reports T10 protection type N (1 to
// 3) in READ CAPACITY(16); empty for 0 (none, or not reported).
std::string protectionTip(int protectionType) {
  if (protectionType <= 0) return {};
  return "protection type " + std::to_string(protectionType);
}
}  // namespace

std::string driveTip(const DriveRecord& d, const Separators& sep) {
  std::string tip;
  if (!d.model.empty()) tip += d.model + "\n";
  tip += "Node: " + d.deviceId + "\n";
  tip += "Serial: " + (d.serial.empty() ? std::string("none") : d.serial) + "\n";
  tip += "Size: " + formatGrouped(static_cast<std::int64_t>(d.size), sep) + " bytes\n";
  tip += "Logical sector size: " + std::to_string(d.bytesPerSector) + " bytes";
  if (const std::string pi = protectionTip(d.protectionType); !pi.empty()) tip += "\n" + pi;
  for (const std::string& note : d.notes) tip += "\n" + note;
  return tip;
}

}  // namespace mdi
