#pragma once
// A SCSI command channel: one CDB out, optional data in, status and sense
// back. The Linux implementation is SG_IO; tests use a simulated target.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdi {

struct ScsiResult {
  int osError = 0;                  // errno of the pass-through call, 0 ok
  std::uint8_t status = 0;          // SCSI status (0 GOOD, 2 CHECK CONDITION)
  std::vector<std::uint8_t> sense;  // sense data returned with the status
  std::size_t transferred = 0;      // bytes actually placed in dataIn
  int hostStatus = 0;               // adapter status, 0 ok
  int driverStatus = 0;             // driver status, 0 ok
};

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  // Sends `cdb` and reads at most dataIn.size() bytes into dataIn.
  virtual ScsiResult execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, unsigned timeoutMs) = 0;
};

}  // namespace mdi
