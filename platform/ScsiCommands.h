#pragma once
// Building the read-only commands the pass-through reader sends, and parsing
// their replies and sense data. Pure functions, all fields big-endian.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/ScsiTransport.h"

namespace mdi {

namespace scsi {
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kReadCapacity10 = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kRead16 = 0x88;
inline constexpr std::uint8_t kServiceActionIn16 = 0x9E;
inline constexpr std::uint8_t kSaReadCapacity16 = 0x10;

inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

inline constexpr std::uint8_t kKeyNoSense = 0x0;
inline constexpr std::uint8_t kKeyRecoveredError = 0x1;
inline constexpr std::uint8_t kKeyNotReady = 0x2;
inline constexpr std::uint8_t kKeyMediumError = 0x3;
inline constexpr std::uint8_t kKeyHardwareError = 0x4;
inline constexpr std::uint8_t kKeyIllegalRequest = 0x5;
inline constexpr std::uint8_t kKeyUnitAttention = 0x6;
}  // namespace scsi

std::array<std::uint8_t, 6> inquiryCdb(std::uint8_t allocationLength = 96);
std::array<std::uint8_t, 10> readCapacity10Cdb();
std::array<std::uint8_t, 16> readCapacity16Cdb(std::uint32_t allocationLength = 32);
std::array<std::uint8_t, 10> read10Cdb(std::uint32_t lba, std::uint16_t blocks);
std::array<std::uint8_t, 16> read16Cdb(std::uint64_t lba, std::uint32_t blocks);

// Reads of `blocks` at `lba` fit READ(10) when the LBA fits 32 bits and the
// count fits 16 bits (0 would mean no transfer, so it does not count).
bool fitsRead10(std::uint64_t lba, std::uint32_t blocks);

struct ScsiInquiry {
  std::uint8_t peripheralType = 0;       // 0 disk, 5 CD/DVD, 0x1F unknown
  std::uint8_t peripheralQualifier = 0;  // 0 connected
  std::string vendor;                    // trimmed of trailing spaces
  std::string product;
  std::string revision;
};

struct ScsiCapacity {
  std::uint64_t blockCount = 0;  // last LBA + 1
  std::uint32_t blockLength = 0;
  // T10 protection type 1 to 3 when READ CAPACITY(16) says protection is
  // enabled (PROT_EN, byte 12 bit 0: type = P_TYPE, bits 3:1, + 1); 0 when
  // it is not, or the reply (READ CAPACITY(10), a short one) does not say.
  int protectionType = 0;
};

// nullopt when the reply is too short to hold the fields.
std::optional<ScsiInquiry> parseInquiry(std::span<const std::uint8_t> data);
std::optional<ScsiCapacity> parseReadCapacity10(std::span<const std::uint8_t> data);
std::optional<ScsiCapacity> parseReadCapacity16(std::span<const std::uint8_t> data);

struct ScsiSense {
  std::uint8_t responseCode = 0;  // 0x70/0x71 fixed, 0x72/0x73 descriptor
  std::uint8_t senseKey = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  bool informationValid = false;
  std::uint64_t information = 0;  // LBA of the failing block for read errors
};

// nullopt for empty sense or an unknown response code.
std::optional<ScsiSense> parseSense(std::span<const std::uint8_t> sense);

enum class ScsiError {
  None,
  MediumError,  // medium error, or a recovered error that was not recovered
  NotReady,
  IllegalRequest,
  UnitAttention,
  Transport,  // the call itself, the adapter or the driver failed
  Other,
};

struct ScsiOutcome {
  ScsiError error = ScsiError::None;
  std::optional<ScsiSense> sense;
  std::optional<std::uint64_t> lba;  // failing LBA of a medium error, if known
};

// Classifies a completed command.
ScsiOutcome classify(const ScsiResult& result);

}  // namespace mdi
