#include "platform/ScsiCommands.h"

#include <algorithm>

namespace mdi {

namespace {

void putBe(std::span<std::uint8_t> out, std::uint64_t value) {
  for (std::size_t i = out.size(); i-- > 0;) {
    out[i] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

std::uint64_t getBe(std::span<const std::uint8_t> in) {
  std::uint64_t v = 0;
  for (std::uint8_t b : in) v = (v << 8) | b;
  return v;
}

std::string trimmedField(std::span<const std::uint8_t> field) {
  std::string s(field.begin(), field.end());
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

}  // namespace

std::array<std::uint8_t, 6> inquiryCdb(std::uint8_t allocationLength) {
  return {scsi::kInquiry, 0, 0, 0, allocationLength, 0};
}

std::array<std::uint8_t, 10> readCapacity10Cdb() { return {scsi::kReadCapacity10, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }

std::array<std::uint8_t, 16> readCapacity16Cdb(std::uint32_t allocationLength) {
  std::array<std::uint8_t, 16> cdb{};
  cdb[0] = scsi::kServiceActionIn16;
  cdb[1] = scsi::kSaReadCapacity16;
  putBe(std::span(cdb).subspan(10, 4), allocationLength);
  return cdb;
}

std::array<std::uint8_t, 10> read10Cdb(std::uint32_t lba, std::uint16_t blocks) {
  std::array<std::uint8_t, 10> cdb{};
  cdb[0] = scsi::kRead10;
  putBe(std::span(cdb).subspan(2, 4), lba);
  putBe(std::span(cdb).subspan(7, 2), blocks);
  return cdb;
}

std::array<std::uint8_t, 16> read16Cdb(std::uint64_t lba, std::uint32_t blocks) {
  std::array<std::uint8_t, 16> cdb{};
  cdb[0] = scsi::kRead16;
  putBe(std::span(cdb).subspan(2, 8), lba);
  putBe(std::span(cdb).subspan(10, 4), blocks);
  return cdb;
}

bool fitsRead10(std::uint64_t lba, std::uint32_t blocks) {
  return blocks > 0 && blocks <= 0xFFFF && lba + blocks - 1 <= 0xFFFFFFFFull;
}

std::optional<ScsiInquiry> parseInquiry(std::span<const std::uint8_t> data) {
  if (data.size() < 36) return std::nullopt;
  ScsiInquiry inq;
  inq.peripheralType = data[0] & 0x1F;
  inq.peripheralQualifier = static_cast<std::uint8_t>(data[0] >> 5);
  inq.vendor = trimmedField(data.subspan(8, 8));
  inq.product = trimmedField(data.subspan(16, 16));
  inq.revision = trimmedField(data.subspan(32, 4));
  return inq;
}

std::optional<ScsiCapacity> parseReadCapacity10(std::span<const std::uint8_t> data) {
  if (data.size() < 8) return std::nullopt;
  ScsiCapacity cap;
  cap.blockCount = getBe(data.subspan(0, 4)) + 1;
  cap.blockLength = static_cast<std::uint32_t>(getBe(data.subspan(4, 4)));
  return cap;
}

std::optional<ScsiCapacity> parseReadCapacity16(std::span<const std::uint8_t> data) {
  if (data.size() < 12) return std::nullopt;
  const std::uint64_t last = getBe(data.subspan(0, 8));
  if (last == ~std::uint64_t{0}) return std::nullopt;
  ScsiCapacity cap;
  cap.blockCount = last + 1;
  cap.blockLength = static_cast<std::uint32_t>(getBe(data.subspan(8, 4)));
  if (data.size() > 12 && (data[12] & 0x01) != 0) cap.protectionType = ((data[12] >> 1) & 0x07) + 1;
  return cap;
}

std::optional<ScsiSense> parseSense(std::span<const std::uint8_t> sense) {
  if (sense.empty()) return std::nullopt;
  ScsiSense s;
  s.responseCode = sense[0] & 0x7F;
  if (s.responseCode == 0x70 || s.responseCode == 0x71) {
    if (sense.size() < 3) return std::nullopt;
    s.senseKey = sense[2] & 0x0F;
    if (sense.size() >= 7) {
      s.information = getBe(sense.subspan(3, 4));
      s.informationValid = (sense[0] & 0x80) != 0;
    }
    if (sense.size() >= 13) s.asc = sense[12];
    if (sense.size() >= 14) s.ascq = sense[13];
    return s;
  }
  if (s.responseCode == 0x72 || s.responseCode == 0x73) {
    if (sense.size() < 4) return std::nullopt;
    s.senseKey = sense[1] & 0x0F;
    s.asc = sense[2];
    s.ascq = sense[3];
    if (sense.size() < 8) return s;
    // Descriptors follow the 8-byte header; walk them for the information
    // descriptor (type 0), staying inside what was actually returned.
    std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
    std::size_t at = 8;
    while (at + 2 <= end) {
      const std::uint8_t type = sense[at];
      const std::size_t len = sense[at + 1];
      if (at + 2 + len > end) break;
      if (type == 0x00 && len >= 0x0A) {
        s.informationValid = (sense[at + 2] & 0x80) != 0;
        s.information = getBe(sense.subspan(at + 4, 8));
      }
      at += 2 + len;
    }
    return s;
  }
  return std::nullopt;
}

ScsiOutcome classify(const ScsiResult& result) {
  ScsiOutcome out;
  if (result.osError != 0 || result.hostStatus != 0 || result.driverStatus != 0) {
    // A driver status of "sense available" alone is not a transport fault;
    // the SG layer reports it together with CHECK CONDITION.
    const bool senseOnly = result.osError == 0 && result.hostStatus == 0 && (result.driverStatus & 0x0F) == 0x08;
    if (!senseOnly) {
      out.error = ScsiError::Transport;
      return out;
    }
  }
  if (result.status == scsi::kStatusGood) return out;
  if (result.status != scsi::kStatusCheckCondition) {
    out.error = ScsiError::Other;
    return out;
  }
  out.sense = parseSense(result.sense);
  if (!out.sense) {
    out.error = ScsiError::Other;
    return out;
  }
  const ScsiSense& s = *out.sense;
  switch (s.senseKey) {
    case scsi::kKeyMediumError:
      out.error = ScsiError::MediumError;
      break;
    case scsi::kKeyRecoveredError:
      // Recovered means the data arrived; only an unrecovered read error
      // reported under this key counts as a fault.
      out.error = s.asc == 0x11 ? ScsiError::MediumError : ScsiError::None;
      break;
    case scsi::kKeyNotReady:
      out.error = ScsiError::NotReady;
      break;
    case scsi::kKeyIllegalRequest:
      out.error = ScsiError::IllegalRequest;
      break;
    case scsi::kKeyUnitAttention:
      out.error = ScsiError::UnitAttention;
      break;
    default:
      out.error = ScsiError::Other;
      break;
  }
  if (out.error == ScsiError::MediumError && s.informationValid) out.lba = s.information;
  return out;
}

}  // namespace mdi
