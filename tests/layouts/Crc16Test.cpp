#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "engine/Crc16T10Dif.h"
#include "tests/layouts/BitwiseCrc.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::byte>;

Bytes bytesOf(const std::string& s) {
  Bytes b(s.size());
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

// ---- the CRC ----------------------------------------------------------

struct CrcCase {
  const char* name;
  Bytes data;
  std::uint16_t want;
};
void PrintTo(const CrcCase& c, std::ostream* os) { *os << c.name; }

class Crc16KnownAnswers : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc16KnownAnswers, GivesTheGuard) {
  const CrcCase& c = GetParam();
  EXPECT_EQ(crc16T10Dif(c.data), c.want);
  EXPECT_EQ(bitwiseCrc(c.data.data(), c.data.size()), c.want) << "the test's own CRC agrees";
}

INSTANTIATE_TEST_SUITE_P(Answers, Crc16KnownAnswers,
                         ::testing::Values(CrcCase{"Digits123456789", bytesOf("123456789"), 0xD0DB},
                                           CrcCase{"Zeros512", Bytes(512, std::byte{0}), 0x0000},
                                           CrcCase{"Ones512", Bytes(512, std::byte{0xFF}), 0xE6A1},
                                           CrcCase{"Empty", Bytes{}, 0x0000}),
                         [](const auto& info) { return std::string(info.param.name); });

class Crc16AgainstBitwise : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Crc16AgainstBitwise, EveryLengthAgrees) {
  Bytes d(GetParam());
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::byte>((i * 131 + 17) ^ (i >> 3));
  EXPECT_EQ(crc16T10Dif(d), bitwiseCrc(d.data(), d.size()));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Crc16AgainstBitwise, ::testing::Values(1, 15, 16, 127, 128, 511, 512, 513, 4096));

}  // namespace
}  // namespace mdi
