#pragma once
// Why this process cannot use a device node that needs root: empty when it can.
#include <string>

namespace mdi {

std::string rootDeviceUnavailable(const char* device, const char* purpose);

}  // namespace mdi
