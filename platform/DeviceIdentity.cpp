#include "platform/DeviceIdentity.h"

namespace mdi {

std::string identityChange(const DeviceIdentity& listed, const DeviceIdentity& now) {
  if (now.sizeBytes != listed.sizeBytes) return "its size changed";
  if (now.persistentId != listed.persistentId) return "it is another disk (serial or WWN changed)";
  if (now.loopBacking != listed.loopBacking) return "the loop device now reads another file";
  if (now.contentHash != listed.contentHash) return "its first 64 KiB changed";
  return {};
}

}  // namespace mdi
