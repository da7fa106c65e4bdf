#pragma once
// A SCSI disk in memory for tests: decodes INQUIRY, READ CAPACITY(10/16)
// and READ(10/16), answers with generated block data or with sense, and logs
// every CDB it was sent.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScsiTransport.h"

namespace mdi {

struct SimulatedScsiConfig {
  std::uint32_t blockLength = 520;
  std::uint64_t blockCount = 1000;
  std::optional<std::uint64_t> mediumErrorLba;  // reads covering it fail
  bool mediumErrorNamesLba = true;              // sense information field valid
  bool rejectReadCapacity16 = false;            // ILLEGAL REQUEST, invalid opcode
  int protectionType = 0;                       // 1..3: READ CAPACITY(16) reports PROT_EN and P_TYPE
  int unitAttentions = 0;                       // first N commands get UNIT ATTENTION
  std::uint8_t peripheralType = 0;
  std::string vendor = "SIMUL";
  std::string product = "ARRAY DISK 520";
};

class SimulatedScsiTarget final : public ScsiTransport {
 public:
  explicit SimulatedScsiTarget(SimulatedScsiConfig config) : m_config(std::move(config)) {}

  ScsiResult execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, unsigned timeoutMs) override;

  // The byte at `offset` of block `lba`: it depends on both, so a block
  // delivered out of place or a shifted offset shows up.
  static std::uint8_t byteAt(std::uint64_t lba, std::uint32_t offset);

  // Every CDB received, in order.
  const std::vector<std::vector<std::uint8_t>>& log() const { return m_log; }

 private:
  ScsiResult read(std::uint64_t lba, std::uint32_t blocks, std::span<std::uint8_t> dataIn);
  SimulatedScsiConfig m_config;
  std::vector<std::vector<std::uint8_t>> m_log;
};

// A fixed-format sense reply (0x70, or 0xF0 with the information field valid).
std::vector<std::uint8_t> fixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                     std::optional<std::uint32_t> information = std::nullopt);

}  // namespace mdi
