#include "convert/Crc16T10Dif.h"

#include <isa-l/crc.h>

namespace mdi {

std::uint16_t crc16T10Dif(std::span<const std::byte> data) {
  return crc16_t10dif(0, reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

}  // namespace mdi
