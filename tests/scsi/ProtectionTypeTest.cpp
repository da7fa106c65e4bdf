#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ScsiCommands.h"
#include "platform/ScsiSource.h"
#include "platform/fakes/SimulatedScsiTarget.h"
#include "platform/linux/ScsiDisk.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::uint8_t>;

// READ CAPACITY(16) replies that differ only in byte 12 (and their length).
struct ProtCase {
  const char* name;
  std::uint8_t byte12;
  std::size_t replyLength;
  int type;
};
void PrintTo(const ProtCase& c, std::ostream* os) { *os << c.name; }

class ReadCapacity16Protection : public ::testing::TestWithParam<ProtCase> {};

TEST_P(ReadCapacity16Protection, TypeIsPTypePlusOneWhenProtEn) {
  const ProtCase& c = GetParam();
  Bytes d{0, 0, 0, 0, 0, 0, 0x03, 0xE7, 0, 0, 0x02, 0x08};  // 1,000 blocks of 520
  d.resize(32, 0);
  d[12] = c.byte12;
  d.resize(c.replyLength);
  const auto cap = parseReadCapacity16(d);
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->blockCount, 1000u);
  EXPECT_EQ(cap->blockLength, 520u);
  EXPECT_EQ(cap->protectionType, c.type);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ReadCapacity16Protection,
    ::testing::Values(ProtCase{"NoProtection", 0x00, 32, 0}, ProtCase{"Type1", 0x01, 32, 1},
                      ProtCase{"Type2", 0x03, 32, 2}, ProtCase{"Type3", 0x05, 32, 3},
                      ProtCase{"PTypeWithoutProtEnIsNone", 0x02, 32, 0},
                      ProtCase{"PiExponentBitsIgnoredType1", 0xF1, 32, 1},
                      ProtCase{"PiExponentBitsIgnoredType2", 0x33, 32, 2},
                      ProtCase{"ReplyCutBeforeByte12SaysNothing", 0x01, 12, 0},
                      ProtCase{"ReplyOfThirteenBytesIsEnough", 0x01, 13, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadCapacity10Protection, NeverReportsAType) {
  const auto cap = parseReadCapacity10(Bytes{0, 0, 0x03, 0xE7, 0, 0, 0x02, 0x08});
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->protectionType, 0);
}

class SimulatedTargetProtection : public ::testing::TestWithParam<int> {};

TEST_P(SimulatedTargetProtection, ProbeCarriesTheTypeIntoTheDriveRecord) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 4096;
  cfg.protectionType = GetParam();
  SimulatedScsiTarget target(cfg);
  const auto info = probeScsiDisk(target);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->capacity.protectionType, GetParam());
  EXPECT_EQ(info->capacity.blockLength, 520u);
  DriveRecord rec;
  applyScsiDiskInfo(rec, *info);
  EXPECT_EQ(rec.protectionType, GetParam());
  EXPECT_EQ(rec.bytesPerSector, 520u);
}

INSTANTIATE_TEST_SUITE_P(Types, SimulatedTargetProtection, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

TEST(SimulatedTargetProtection, FallbackToReadCapacity10LosesTheType) {
  SimulatedScsiConfig cfg;
  cfg.protectionType = 1;
  cfg.rejectReadCapacity16 = true;
  SimulatedScsiTarget target(cfg);
  const auto cap = readCapacity(target);
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->protectionType, 0);
}

}  // namespace
}  // namespace mdi
