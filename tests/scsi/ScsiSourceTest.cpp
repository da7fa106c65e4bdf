#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/ScsiSource.h"
#include "platform/fakes/SimulatedScsiTarget.h"

namespace mdi {
namespace {

// Forwards to a target the test keeps, so its log stays readable after the
// source has taken ownership of the transport.
class Borrowed final : public ScsiTransport {
 public:
  explicit Borrowed(ScsiTransport& t) : m_t(t) {}
  ScsiResult execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data,
                     unsigned timeoutMs) override {
    return m_t.execute(cdb, data, timeoutMs);
  }

 private:
  ScsiTransport& m_t;
};

struct ReadAll {
  std::vector<std::byte> data;
  std::vector<IoResult> results;
};

// Reads in `chunk`-byte requests until a read returns 0 bytes or fails.
ReadAll readAll(Source& src, std::size_t chunk) {
  ReadAll out;
  std::vector<std::byte> buf(chunk);
  for (;;) {
    const IoResult r = src.read(buf);
    out.results.push_back(r);
    out.data.insert(out.data.end(), buf.begin(), buf.begin() + static_cast<long>(r.bytes));
    if (r.failed() || r.bytes == 0) break;
    if (out.results.size() > 100000) break;  // a runaway loop fails below
  }
  return out;
}

// Index of the first byte that differs from the simulated pattern, or size.
std::size_t firstMismatch(const std::vector<std::byte>& data, std::uint32_t bl) {
  for (std::size_t i = 0; i < data.size(); ++i)
    if (data[i] != std::byte{SimulatedScsiTarget::byteAt(i / bl, static_cast<std::uint32_t>(i % bl))})
      return i;
  return data.size();
}

struct Geometry {
  std::uint32_t blockLength;
  std::size_t chunk;
};

class ScsiSourceWhole : public ::testing::TestWithParam<Geometry> {};

TEST_P(ScsiSourceWhole, ReadsEveryByteThenShortThenZero) {
  const Geometry g = GetParam();
  SimulatedScsiConfig cfg;
  cfg.blockLength = g.blockLength;
  cfg.blockCount = 1003;  // not a whole number of 128-block transfers
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);

  const ReadAll all = readAll(*src, g.chunk);
  const std::size_t total = static_cast<std::size_t>(cfg.blockCount) * cfg.blockLength;
  ASSERT_EQ(all.data.size(), total);
  EXPECT_EQ(firstMismatch(all.data, cfg.blockLength), total);

  // Full reads, then one short read with the remainder, then 0 bytes.
  ASSERT_GE(all.results.size(), 3u);
  const std::size_t n = all.results.size();
  for (std::size_t i = 0; i + 2 < n; ++i) {
    EXPECT_EQ(all.results[i].bytes, g.chunk) << "read " << i;
    EXPECT_EQ(all.results[i].error, 0);
  }
  EXPECT_EQ(all.results[n - 2].bytes, total % g.chunk);
  EXPECT_EQ(all.results[n - 2].error, 0);
  EXPECT_EQ(all.results[n - 1].bytes, 0u);
  EXPECT_EQ(all.results[n - 1].error, 0);

  // Still at the end.
  std::vector<std::byte> buf(100);
  const IoResult again = src->read(buf);
  EXPECT_EQ(again.bytes, 0u);
  EXPECT_EQ(again.error, 0);

  // Every block was read exactly once, by whole-block READ(10) commands of at
  // most 128 blocks, in order.
  std::uint64_t next = 0;
  for (const auto& cdb : target.log()) {
    ASSERT_EQ(cdb.size(), 10u);
    ASSERT_EQ(cdb[0], 0x28);
    const std::uint64_t lba = (std::uint64_t{cdb[2]} << 24) | (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
    const unsigned count = (cdb[7] << 8) | cdb[8];
    EXPECT_EQ(lba, next);
    EXPECT_GE(count, 1u);
    EXPECT_LE(count, 128u);
    next += count;
  }
  EXPECT_EQ(next, cfg.blockCount);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScsiSourceWhole,
                         ::testing::Values(Geometry{520, 66560}, Geometry{520, 64527},
                                           Geometry{528, 66560}, Geometry{528, 64527},
                                           Geometry{520, 513}, Geometry{528, 131072}));

TEST(ScsiSource, ReadEndingMidBlockKeepsTheRestForTheNextRead) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 10;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);
  std::vector<std::byte> a(700), b(400);
  ASSERT_EQ(src->read(a).bytes, 700u);
  ASSERT_EQ(src->read(b).bytes, 400u);
  // 700..1099 spans blocks 1 and 2: bytes 180..519 of block 1, 0..59 of block 2.
  EXPECT_EQ(b[0], std::byte{SimulatedScsiTarget::byteAt(1, 180)});
  EXPECT_EQ(b[339], std::byte{SimulatedScsiTarget::byteAt(1, 519)});
  EXPECT_EQ(b[340], std::byte{SimulatedScsiTarget::byteAt(2, 0)});
  EXPECT_EQ(b[399], std::byte{SimulatedScsiTarget::byteAt(2, 59)});
  // Block 1 was not read twice: the second request only needed block 2.
  ASSERT_EQ(target.log().size(), 2u);
  EXPECT_EQ(target.log()[1][5], 2);
  EXPECT_EQ(target.log()[1][8], 1);
}

class ScsiSourceMediumError : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(ScsiSourceMediumError, FailsWithEioAfterTheBlocksBeforeIt) {
  const std::uint64_t bad = GetParam();
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 1003;
  cfg.mediumErrorLba = bad;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);

  const ReadAll all = readAll(*src, 66560);
  ASSERT_FALSE(all.results.empty());
  const IoResult last = all.results.back();
  EXPECT_EQ(last.error, EIO);
  const std::size_t before = static_cast<std::size_t>(bad) * cfg.blockLength;
  ASSERT_EQ(all.data.size(), before);
  EXPECT_EQ(firstMismatch(all.data, cfg.blockLength), before);
  // The failing read delivered exactly the part of the request before block k.
  EXPECT_EQ(last.bytes, before % 66560);
  for (std::size_t i = 0; i + 1 < all.results.size(); ++i) EXPECT_EQ(all.results[i].bytes, 66560u);

  // A further read stays at the failing block and fails again.
  std::vector<std::byte> buf(520);
  const IoResult again = src->read(buf);
  EXPECT_EQ(again.bytes, 0u);
  EXPECT_EQ(again.error, EIO);
}

using Range = std::pair<std::uint64_t, std::uint64_t>;

// Blocks a READ command in the log asked for, as [lba, lba + count).
std::pair<std::uint64_t, std::uint64_t> readRange(const std::vector<std::uint8_t>& cdb) {
  std::uint64_t lba = 0, count = 0;
  if (cdb[0] == 0x28) {
    for (int i = 2; i < 6; ++i) lba = (lba << 8) | cdb[i];
    count = (std::uint64_t{cdb[7]} << 8) | cdb[8];
  } else {
    for (int i = 2; i < 10; ++i) lba = (lba << 8) | cdb[i];
    for (int i = 10; i < 14; ++i) count = (count << 8) | cdb[i];
  }
  return {lba, lba + count};
}

int commandsTouching(const SimulatedScsiTarget& t, std::uint64_t lba) {
  int n = 0;
  for (const auto& cdb : t.log()) {
    const auto [from, to] = readRange(cdb);
    if (lba >= from && lba < to) ++n;
  }
  return n;
}

TEST(ScsiSource, NamedBadBlockIsNotReadAgain) {
  SimulatedScsiConfig cfg;
  cfg.blockCount = 1003;
  cfg.mediumErrorLba = 300;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);
  const ReadAll all = readAll(*src, 66560);
  EXPECT_EQ(all.results.back().error, EIO);
  EXPECT_EQ(all.data.size(), 300u * 520);
  // The 128-block command over it, then one command for blocks 256..299.
  EXPECT_EQ(commandsTouching(target, 300), 1);
  ASSERT_GE(target.log().size(), 2u);
  EXPECT_EQ(readRange(target.log().back()), (Range{256, 300}));
}

TEST(ScsiSource, UnnamedBadBlockIsFoundBlockByBlock) {
  SimulatedScsiConfig cfg;
  cfg.blockCount = 1003;
  cfg.mediumErrorLba = 300;
  cfg.mediumErrorNamesLba = false;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);
  const ReadAll all = readAll(*src, 66560);
  EXPECT_EQ(all.results.back().error, EIO);
  ASSERT_EQ(all.data.size(), 300u * 520);
  EXPECT_EQ(firstMismatch(all.data, 520), all.data.size());
  // The multi-block command, then the single-block read that pins it down.
  EXPECT_EQ(commandsTouching(target, 300), 2);
  EXPECT_EQ(readRange(target.log().back()), (Range{300, 301}));
}

INSTANTIATE_TEST_SUITE_P(Lbas, ScsiSourceMediumError,
                         ::testing::Values(0, 1, 127, 128, 300, 1002));

TEST(ScsiSource, TransportErrorIsReportedWithItsErrno) {
  class Gone final : public ScsiTransport {
   public:
    ScsiResult execute(std::span<const std::uint8_t>, std::span<std::uint8_t>,
                       unsigned) override {
      ScsiResult r;
      r.osError = ENODEV;
      return r;
    }
  };
  auto src = makeScsiSource(std::make_unique<Gone>(), 100, 520);
  std::vector<std::byte> buf(4096);
  const IoResult r = src->read(buf);
  EXPECT_EQ(r.bytes, 0u);
  EXPECT_EQ(r.error, ENODEV);
}

TEST(ScsiSource, NullTransportGivesAFailedSource) {
  auto src = makeScsiSource(nullptr, 100, 520);
  std::vector<std::byte> buf(16);
  EXPECT_EQ(src->read(buf).error, ENODEV);
}

TEST(ScsiSource, UnitAttentionAfterResetIsRetried) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 528;
  cfg.blockCount = 4;
  cfg.unitAttentions = 1;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength);
  const ReadAll all = readAll(*src, 4096);
  EXPECT_EQ(all.data.size(), 4u * 528);
  EXPECT_EQ(firstMismatch(all.data, 528), all.data.size());
  EXPECT_EQ(target.log().size(), 2u);
}

TEST(ScsiSource, LargeTransferUsesRead16WhenCountExceeds16Bits) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 0x10001;
  SimulatedScsiTarget target(cfg);
  auto src = makeScsiSource(std::make_unique<Borrowed>(target), cfg.blockCount, cfg.blockLength,
                            0x10001);
  std::vector<std::byte> buf(static_cast<std::size_t>(0x10001) * 520);
  const IoResult r = src->read(buf);
  EXPECT_EQ(r.bytes, buf.size());
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(target.log().size(), 1u);
  EXPECT_EQ(target.log()[0][0], 0x88);
  EXPECT_EQ(target.log()[0][12], 0x00);
  EXPECT_EQ(target.log()[0][11], 0x01);
  EXPECT_EQ(target.log()[0][13], 0x01);
  EXPECT_EQ(firstMismatch(buf, 520), buf.size());
}

TEST(ScsiCapacity, ReadCapacity16IsTriedFirst) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 528;
  cfg.blockCount = 0x123456789ull;
  SimulatedScsiTarget target(cfg);
  const auto cap = readCapacity(target);
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->blockCount, 0x123456789ull);
  EXPECT_EQ(cap->blockLength, 528u);
  ASSERT_EQ(target.log().size(), 1u);
  EXPECT_EQ(target.log()[0][0], 0x9E);
  EXPECT_EQ(target.log()[0][1], 0x10);
}

TEST(ScsiCapacity, RejectedReadCapacity16FallsBackTo10) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 1003;
  cfg.rejectReadCapacity16 = true;
  SimulatedScsiTarget target(cfg);
  const auto cap = readCapacity(target);
  ASSERT_TRUE(cap);
  EXPECT_EQ(cap->blockCount, 1003u);
  EXPECT_EQ(cap->blockLength, 520u);
  ASSERT_EQ(target.log().size(), 2u);
  EXPECT_EQ(target.log()[0][0], 0x9E);
  EXPECT_EQ(target.log()[1][0], 0x25);
}

TEST(ScsiCapacity, TooLargeFor10WithoutReadCapacity16IsUnknown) {
  SimulatedScsiConfig cfg;
  cfg.blockCount = 0x200000000ull;
  cfg.rejectReadCapacity16 = true;
  SimulatedScsiTarget target(cfg);
  EXPECT_FALSE(readCapacity(target));
}

TEST(ScsiInquiryQuery, ReportsIdentity) {
  SimulatedScsiConfig cfg;
  cfg.vendor = "HITACHI";
  cfg.product = "HUS156030VLF400";
  cfg.revision = "F5C0";
  SimulatedScsiTarget target(cfg);
  const auto inq = inquiry(target);
  ASSERT_TRUE(inq);
  EXPECT_EQ(inq->vendor, "HITACHI");
  EXPECT_EQ(inq->product, "HUS156030VLF400");
  EXPECT_EQ(inq->revision, "F5C0");
  EXPECT_EQ(inq->peripheralType, 0);
  ASSERT_EQ(target.log().size(), 1u);
  EXPECT_EQ(target.log()[0][0], 0x12);
}

TEST(SimulatedTarget, ReadPastTheEndIsIllegalRequest) {
  SimulatedScsiConfig cfg;
  cfg.blockCount = 10;
  SimulatedScsiTarget target(cfg);
  std::vector<std::uint8_t> data(2 * 520);
  const auto cdb = read10Cdb(9, 2);
  const ScsiResult r = target.execute(cdb, data, 1000);
  const ScsiOutcome o = classify(r);
  EXPECT_EQ(o.error, ScsiError::IllegalRequest);
  ASSERT_TRUE(o.sense);
  EXPECT_EQ(o.sense->asc, 0x21);
  EXPECT_EQ(r.transferred, 0u);
}

TEST(SimulatedTarget, MediumErrorSenseNamesTheLba) {
  SimulatedScsiConfig cfg;
  cfg.mediumErrorLba = 77;
  SimulatedScsiTarget target(cfg);
  std::vector<std::uint8_t> data(10 * 520);
  const auto cdb = read16Cdb(70, 10);
  const ScsiResult r = target.execute(cdb, data, 1000);
  const ScsiOutcome o = classify(r);
  EXPECT_EQ(o.error, ScsiError::MediumError);
  ASSERT_TRUE(o.lba);
  EXPECT_EQ(*o.lba, 77u);
  EXPECT_EQ(r.transferred, 0u);
}

}  // namespace
}  // namespace mdi
