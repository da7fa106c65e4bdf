// The commands the pass-through reader builds, and the replies and sense
// data it parses: pure functions over bytes. Parsed values are compared
// whole, as tuples of their fields.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ScsiCommands.h"
#include "tests/fakes/SimulatedScsiTarget.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& a) {
  return Bytes(a.begin(), a.end());
}
auto fieldsOf(const ScsiCapacity& c) { return std::tuple(c.blockCount, c.blockLength, c.protectionType); }
// The information field counts only where it is marked valid.
auto fieldsOf(const ScsiSense& s) {
  return std::tuple(s.responseCode, s.senseKey, s.asc, s.ascq, s.informationValid,
                    s.informationValid ? s.information : 0);
}
template <class T>
std::optional<decltype(fieldsOf(std::declval<T>()))> fieldsOf(const std::optional<T>& v) {
  if (!v) return std::nullopt;
  return fieldsOf(*v);
}

TEST(ScsiCdb, FieldsAreBigEndian) {
  struct Case {
    const char* name;
    Bytes cdb, want;
  };
  const Case cases[] = {
      {"InquiryAsksForAllocationLength", bytes(inquiryCdb(96)), {0x12, 0, 0, 0, 96, 0}},
      {"ReadCapacity10IsOpcodeAndZeros", bytes(readCapacity10Cdb()), {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"ReadCapacity16IsServiceActionIn",
       bytes(readCapacity16Cdb(0x01020304)),
       {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 0, 0}},
      {"Read10", bytes(read10Cdb(0x12345678, 0xFF80)), {0x28, 0, 0x12, 0x34, 0x56, 0x78, 0, 0xFF, 0x80, 0}},
      {"Read16",
       bytes(read16Cdb(0x0102030405060708ull, 0x00010080)),
       {0x88, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x01, 0x00, 0x80, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.cdb, c.want) << c.name;
}

TEST(ScsiCdb, Read10FitsOnlyWithin32BitLbaAnd16BitCount) {
  EXPECT_TRUE(fitsRead10(0xFFFFFFFFull, 1));
  EXPECT_TRUE(fitsRead10(0xFFFFFF80ull, 128));
  EXPECT_TRUE(fitsRead10(0, 0xFFFF));
  EXPECT_FALSE(fitsRead10(0xFFFFFF81ull, 128));  // last block past 2^32 - 1
  EXPECT_FALSE(fitsRead10(0, 0x10000));
  EXPECT_FALSE(fitsRead10(0, 0));
}

TEST(ScsiParse, InquiryFieldsAreTrimmedAndShortRepliesRejected) {
  Bytes d(36, 0);
  d[0] = 0x65;  // qualifier 3, type 5
  const std::string id = "SEAGATE ST3300657FC     0006";
  std::copy(id.begin(), id.end(), d.begin() + 8);
  const auto inq = parseInquiry(d);
  ASSERT_TRUE(inq);
  EXPECT_EQ(std::tuple(inq->peripheralType, inq->peripheralQualifier, inq->vendor, inq->product, inq->revision),
            std::tuple(5, 3, "SEAGATE", "ST3300657FC", "0006"));
  d.resize(35);
  EXPECT_FALSE(parseInquiry(d));
}

// The capacity replies: last LBA + 1, the block length and, in READ
// CAPACITY(16) byte 12, P_TYPE + 1 when PROT_EN is set.
TEST(ScsiParse, ReadCapacityReplies) {
  struct Case {
    const char* name;
    bool sixteen;
    Bytes reply;
    std::optional<ScsiCapacity> want;
  };
  auto rc16 = [](std::uint8_t byte12, std::size_t length) {
    Bytes d{0, 0, 0, 0, 0, 0, 0x03, 0xE7, 0, 0, 0x02, 0x08};  // 1,000 blocks of 520
    d.resize(32, 0);
    d[12] = byte12;
    d.resize(length);
    return d;
  };
  const Case cases[] = {
      {"Rc10", false, {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x08}, ScsiCapacity{0x10001, 520, 0}},
      {"Rc10Short", false, {0, 0, 0, 0, 0, 0, 2}, std::nullopt},
      {"Rc16Above32Bits",
       true,
       {0, 0, 0, 0x01, 0x22, 0x33, 0x44, 0x55, 0, 0, 0x02, 0x10},
       ScsiCapacity{0x0000000122334456ull, 528, 0}},
      {"Rc16Short", true, Bytes(11, 0), std::nullopt},
      {"NoProtection", true, rc16(0x00, 32), ScsiCapacity{1000, 520, 0}},
      {"Type1", true, rc16(0x01, 32), ScsiCapacity{1000, 520, 1}},
      {"Type3", true, rc16(0x05, 32), ScsiCapacity{1000, 520, 3}},
      {"PTypeWithoutProtEnIsNone", true, rc16(0x02, 32), ScsiCapacity{1000, 520, 0}},
      {"PiExponentBitsIgnored", true, rc16(0x33, 32), ScsiCapacity{1000, 520, 2}},
      {"ReplyCutBeforeByte12SaysNothing", true, rc16(0x01, 12), ScsiCapacity{1000, 520, 0}},
      {"ReplyOfThirteenBytesIsEnough", true, rc16(0x01, 13), ScsiCapacity{1000, 520, 1}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fieldsOf(c.sixteen ? parseReadCapacity16(c.reply) : parseReadCapacity10(c.reply)), fieldsOf(c.want))
        << c.name;
}

// Fixed sense as a device sends it, with another response code.
Bytes withCode(Bytes sense, std::uint8_t code) {
  sense[0] = code;
  return sense;
}

TEST(ScsiSense, FixedAndDescriptorFormats) {
  struct Case {
    const char* name;
    Bytes sense;
    std::optional<ScsiSense> want;
  };
  const Case cases[] = {
      // Medium error, unrecovered read error, failing LBA 0x00012345.
      {"FixedWithValidInformation", fixedSense(0x03, 0x11, 0, 0x00012345), ScsiSense{0x70, 3, 0x11, 0, true, 0x12345}},
      {"FixedWithoutValidBit", withCode(fixedSense(0x06, 0x29, 0x02, 7), 0x71),
       ScsiSense{0x71, 6, 0x29, 0x02, false, 0}},
      // Header, a sense-key-specific descriptor (type 2), then the
      // information descriptor (type 0) holding a 64-bit LBA.
      {"DescriptorWithInformation",
       {0x72, 0x03, 0x11, 0x04, 0,    0, 0,    20,   0x02, 0x06, 0,    0,    0x80, 0,
        0,    0,    0x00, 0x0A, 0x80, 0, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x10, 0x01},
       ScsiSense{0x72, 3, 0x11, 0x04, true, 0x0000000200001001ull}},
      {"DescriptorWithoutDescriptors", {0x73, 0x05, 0x24, 0x00, 0, 0, 0, 0}, ScsiSense{0x73, 5, 0x24, 0, false, 0}},
      // The additional length claims a whole information descriptor; the bytes end early.
      {"TruncatedDescriptorIsIgnored",
       {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0},
       ScsiSense{0x72, 3, 0x11, 0, false, 0}},
      {"Empty", {}, std::nullopt},
      {"UnknownResponseCode", {0x7F, 0, 3, 0}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(fieldsOf(parseSense(c.sense)), fieldsOf(c.want)) << c.name;
}

ScsiResult result(std::uint8_t status, Bytes sense = {}, int host = 0, int driver = 0, int os = 0) {
  ScsiResult r;
  r.status = status;
  r.sense = std::move(sense);
  r.hostStatus = host;
  r.driverStatus = driver;
  r.osError = os;
  return r;
}
ScsiResult checkCondition(std::uint8_t key, std::uint8_t asc, std::optional<std::uint32_t> info = std::nullopt) {
  return result(2, fixedSense(key, asc, 0, info), 0, 0x08);
}

TEST(ScsiClassify, ResultsMapToCategories) {
  struct Case {
    const char* name;
    ScsiResult r;
    ScsiError want;
    std::optional<std::uint64_t> lba = std::nullopt;
  };
  const Case cases[] = {
      {"GoodIsNone", ScsiResult{}, ScsiError::None},
      {"MediumErrorCarriesLba", checkCondition(0x3, 0x11, 0x100), ScsiError::MediumError, 0x100},
      {"RecoveredButNotRecovered", checkCondition(0x1, 0x11), ScsiError::MediumError},
      {"RecoveredWithRetries", checkCondition(0x1, 0x17), ScsiError::None},
      {"NotReady", checkCondition(0x2, 0x04), ScsiError::NotReady},
      {"HardwareError", checkCondition(0x4, 0x44), ScsiError::Other},
      {"IllegalRequest", checkCondition(0x5, 0x20), ScsiError::IllegalRequest},
      {"UnitAttention", checkCondition(0x6, 0x29), ScsiError::UnitAttention},
      {"CallFailed", result(0, {}, 0, 0, 5), ScsiError::Transport},
      {"HostNoConnect", result(0, {}, 0x01), ScsiError::Transport},
      {"DriverTimeout", result(0, {}, 0, 0x06), ScsiError::Transport},
      {"Busy", result(0x08), ScsiError::Other},
      {"CheckConditionWithoutSense", result(2, {}, 0, 0x08), ScsiError::Other},
  };
  for (const Case& c : cases) {
    const ScsiOutcome o = classify(c.r);
    EXPECT_EQ(o.error, c.want) << c.name;
    if (c.lba) { EXPECT_EQ(o.lba, c.lba) << c.name; }
  }
}

}  // namespace
}  // namespace mdi
