#include "platform/linux/ScsiDisk.h"

#include <cerrno>

#include "platform/linux/SgTransport.h"

namespace mdi {

ScsiProbe probeScsiDisk(const std::string& node) {
  auto transport = openSgTransport(node);
  if (!transport) return {std::nullopt, errno == EACCES || errno == EPERM};
  return {probeScsiDisk(*transport), false};
}

std::unique_ptr<Source> openScsiSource(const std::string& node, std::uint32_t maxTransferBlocks) {
  auto transport = openSgTransport(node);
  if (!transport) {
    const int error = errno != 0 ? errno : EIO;
    return std::make_unique<FailedSource>(error, openFailureText(node, error));
  }
  const auto cap = readCapacity(*transport);
  if (!cap) return std::make_unique<FailedSource>(EIO, node + " did not report its capacity");
  return makeScsiSource(std::move(transport), cap->blockCount, cap->blockLength, maxTransferBlocks);
}

void applyScsiDiskInfo(DriveRecord& record, const ScsiDiskInfo& info) {
  std::string model = info.inquiry.vendor;
  if (!model.empty() && !info.inquiry.product.empty()) model += ' ';
  model += info.inquiry.product;
  record.model = model;
  record.size = info.capacity.blockCount * info.capacity.blockLength;
  record.bytesPerSector = info.capacity.blockLength;
  record.protectionType = info.capacity.protectionType;
}

}  // namespace mdi
