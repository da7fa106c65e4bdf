// The replies and sense data the pass-through reader parses: pure functions
// over bytes, for the edges a simulated disk does not send. Parsed values
// are compared whole, as tuples of their fields. (The commands themselves
// are decoded by the simulated target the probe and source tests read.)
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

auto fieldsOf(const std::optional<ScsiCapacity>& c) {
  return c ? std::optional(std::tuple(c->blockCount, c->blockLength, c->protectionType)) : std::nullopt;
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
      {"Rc10Short", false, {0, 0, 0, 0, 0, 0, 2}, std::nullopt},
      {"Rc16Short", true, Bytes(11, 0), std::nullopt},
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

ScsiResult result(std::uint8_t status, Bytes sense = {}, int host = 0, int driver = 0, int os = 0) {
  ScsiResult r;
  r.status = status;
  r.sense = std::move(sense);
  r.hostStatus = host;
  r.driverStatus = driver;
  r.osError = os;
  return r;
}
ScsiResult checkCondition(std::uint8_t key, std::uint8_t asc) {
  return result(2, fixedSense(key, asc, 0, std::nullopt), 0, 0x08);
}

// A completed command's category and, for a medium error whose sense
// marks it valid, the failing LBA; sense data in both formats as devices
// send it. (A good reply, a fixed-format medium error with and without its
// LBA, a unit attention and a failed call are what the simulated disk
// sends the source tests.)
TEST(ScsiClassify, ResultsMapToCategories) {
  struct Case {
    const char* name;
    ScsiResult r;
    ScsiError want;
    std::optional<std::uint64_t> lba = std::nullopt;
  };
  const Case cases[] = {
      // Header, a sense-key-specific descriptor (type 2), then the
      // information descriptor (type 0) holding a 64-bit LBA.
      {"DescriptorWithInformation",
       result(2, {0x72, 0x03, 0x11, 0x04, 0,    0, 0,    20,   0x02, 0x06, 0,    0,    0x80, 0,
                  0,    0,    0x00, 0x0A, 0x80, 0, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x10, 0x01}),
       ScsiError::MediumError, 0x0000000200001001ull},
      {"DescriptorWithoutDescriptors", result(2, {0x73, 0x05, 0x24, 0x00, 0, 0, 0, 0}), ScsiError::IllegalRequest},
      // The additional length claims a whole information descriptor; the bytes end early.
      {"TruncatedDescriptorIsIgnored", result(2, {0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A, 0x80, 0, 0, 0}),
       ScsiError::MediumError},
      {"UnknownResponseCode", result(2, {0x7F, 0, 3, 0}), ScsiError::Other},
      {"RecoveredButNotRecovered", checkCondition(0x1, 0x11), ScsiError::MediumError},
      {"RecoveredWithRetries", checkCondition(0x1, 0x17), ScsiError::None},
      {"NotReady", checkCondition(0x2, 0x04), ScsiError::NotReady},
      {"HardwareError", checkCondition(0x4, 0x44), ScsiError::Other},
      {"IllegalRequest", checkCondition(0x5, 0x20), ScsiError::IllegalRequest},
      {"HostNoConnect", result(0, {}, 0x01), ScsiError::Transport},
      {"DriverTimeout", result(0, {}, 0, 0x06), ScsiError::Transport},
      {"Busy", result(0x08), ScsiError::Other},
      {"CheckConditionWithoutSense", result(2, {}, 0, 0x08), ScsiError::Other},
  };
  for (const Case& c : cases) {
    const ScsiOutcome o = classify(c.r);
    EXPECT_EQ(std::pair(o.error, o.lba), std::pair(c.want, c.lba)) << c.name;
  }
}

}  // namespace
}  // namespace mdi
