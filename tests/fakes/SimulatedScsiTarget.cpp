#include "tests/fakes/SimulatedScsiTarget.h"

#include <algorithm>
#include <cstring>

namespace mdi {

namespace {

std::uint64_t be(std::span<const std::uint8_t> in) {
  std::uint64_t v = 0;
  for (std::uint8_t b : in) v = (v << 8) | b;
  return v;
}

void putBe(std::span<std::uint8_t> out, std::uint64_t value) {
  for (std::size_t i = out.size(); i-- > 0;) {
    out[i] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

// CHECK CONDITION with sense, the driver status saying so as the SG layer does.
ScsiResult checkCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                          std::optional<std::uint32_t> info = std::nullopt) {
  return {.status = 0x02, .sense = fixedSense(key, asc, ascq, info), .driverStatus = 0x08};
}

// GOOD status, with as much of `reply` as fits in dataIn.
ScsiResult dataReply(std::span<std::uint8_t> dataIn, std::span<const std::uint8_t> reply) {
  const std::size_t n = std::min(dataIn.size(), reply.size());
  std::memcpy(dataIn.data(), reply.data(), n);
  return {.sense = {}, .transferred = n};
}

void putField(std::span<std::uint8_t> out, const std::string& s) {
  std::fill(out.begin(), out.end(), ' ');
  std::memcpy(out.data(), s.data(), std::min(out.size(), s.size()));
}

}  // namespace

std::vector<std::uint8_t> fixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                     std::optional<std::uint32_t> information) {
  std::vector<std::uint8_t> s(18, 0);
  s[0] = information ? 0xF0 : 0x70;
  s[2] = key & 0x0F;
  if (information) putBe(std::span(s).subspan(3, 4), *information);
  s[7] = 10;  // additional sense length
  s[12] = asc;
  s[13] = ascq;
  return s;
}

std::uint8_t SimulatedScsiTarget::byteAt(std::uint64_t lba, std::uint32_t offset) {
  std::uint64_t x = lba * 0x9E3779B97F4A7C15ull + offset * 0xBF58476D1CE4E5B9ull;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 29;
  return static_cast<std::uint8_t>(x >> 24);
}

ScsiResult SimulatedScsiTarget::execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, unsigned) {
  m_log.emplace_back(cdb.begin(), cdb.end());
  if (cdb.empty()) return checkCondition(0x5, 0x20, 0x00);
  if (m_config.unitAttentions > 0) {
    --m_config.unitAttentions;
    return checkCondition(0x6, 0x29, 0x00);  // power on or reset occurred
  }
  const std::uint8_t op = cdb[0];
  if (op == 0x12 && cdb.size() == 6) {  // INQUIRY
    std::vector<std::uint8_t> reply(36, 0);
    reply[0] = m_config.peripheralType & 0x1F;
    reply[2] = 0x06;  // SPC-4
    reply[3] = 0x02;
    reply[4] = 31;  // additional length
    putField(std::span(reply).subspan(8, 8), m_config.vendor);
    putField(std::span(reply).subspan(16, 16), m_config.product);
    return dataReply(dataIn.first(std::min<std::size_t>(dataIn.size(), cdb[4])), reply);
  }
  if (op == 0x25 && cdb.size() == 10) {  // READ CAPACITY(10)
    std::vector<std::uint8_t> reply(8, 0);
    const std::uint64_t last = m_config.blockCount - 1;
    putBe(std::span(reply).subspan(0, 4), std::min<std::uint64_t>(last, 0xFFFFFFFFull));
    putBe(std::span(reply).subspan(4, 4), m_config.blockLength);
    return dataReply(dataIn, reply);
  }
  if (op == 0x9E && cdb.size() == 16 && (cdb[1] & 0x1F) == 0x10) {  // READ CAPACITY(16)
    if (m_config.rejectReadCapacity16) return checkCondition(0x5, 0x20, 0x00);
    std::vector<std::uint8_t> reply(32, 0);
    putBe(std::span(reply).subspan(0, 8), m_config.blockCount - 1);
    putBe(std::span(reply).subspan(8, 4), m_config.blockLength);
    if (m_config.protectionType > 0)
      reply[12] = static_cast<std::uint8_t>(((m_config.protectionType - 1) & 0x07) << 1 | 0x01);
    const std::size_t alloc = be(cdb.subspan(10, 4));
    return dataReply(dataIn.first(std::min(dataIn.size(), alloc)), reply);
  }
  if (op == 0x28 && cdb.size() == 10)  // READ(10)
    return read(be(cdb.subspan(2, 4)), static_cast<std::uint32_t>(be(cdb.subspan(7, 2))), dataIn);
  if (op == 0x88 && cdb.size() == 16)  // READ(16)
    return read(be(cdb.subspan(2, 8)), static_cast<std::uint32_t>(be(cdb.subspan(10, 4))), dataIn);
  return checkCondition(0x5, 0x20, 0x00);  // invalid command operation code
}

ScsiResult SimulatedScsiTarget::read(std::uint64_t lba, std::uint32_t blocks, std::span<std::uint8_t> dataIn) {
  if (lba > m_config.blockCount || blocks > m_config.blockCount - lba)
    return checkCondition(0x5, 0x21, 0x00);  // LBA out of range
  if (m_config.mediumErrorLba && *m_config.mediumErrorLba >= lba && *m_config.mediumErrorLba < lba + blocks)
    return checkCondition(0x3, 0x11, 0x00,
                          m_config.mediumErrorNamesLba
                              ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*m_config.mediumErrorLba))
                              : std::nullopt);
  const std::size_t bl = m_config.blockLength;
  const std::size_t want = static_cast<std::size_t>(blocks) * bl;
  const std::size_t n = std::min(want, dataIn.size());
  for (std::size_t i = 0; i < n; ++i) dataIn[i] = byteAt(lba + i / bl, static_cast<std::uint32_t>(i % bl));
  return {.sense = {}, .transferred = n};
}

}  // namespace mdi
