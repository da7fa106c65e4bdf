// Reading a disk through pass-through commands over a simulated target:
// every byte in order from whole-block READs, and where a read fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/ScsiSource.h"
#include "tests/fakes/SimulatedScsiTarget.h"

// Configurations name only the fields they set; GCC counts an optional
// left out of a designated initializer as missing.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace mdi {
namespace {

// A simulated disk and a source reading it; the source owns the target,
// whose log the test reads through `target`.
struct Disk {
  explicit Disk(SimulatedScsiConfig cfg, std::uint32_t maxTransfer = 128)
      : owned(std::make_unique<SimulatedScsiTarget>(cfg)),
        target(*owned),
        src(makeScsiSource(std::move(owned), cfg.blockCount, cfg.blockLength, maxTransfer)) {}
  std::unique_ptr<SimulatedScsiTarget> owned;
  SimulatedScsiTarget& target;
  std::unique_ptr<Source> src;
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
    if (data[i] != std::byte{SimulatedScsiTarget::byteAt(i / bl, static_cast<std::uint32_t>(i % bl))}) return i;
  return data.size();
}

// A read's outcome as one comparable value: bytes, errno.
std::pair<std::size_t, int> got(IoResult r) { return {r.bytes, r.error}; }

using Range = std::pair<std::uint64_t, std::uint64_t>;

// Blocks a READ(10) or READ(16) in the log asked for, as [lba, lba + count).
Range readRange(const std::vector<std::uint8_t>& cdb) {
  const bool ten = cdb[0] == 0x28;
  std::uint64_t lba = 0, count = 0;
  for (int i = 2; i < (ten ? 6 : 10); ++i) lba = (lba << 8) | cdb[i];
  for (int i = ten ? 7 : 10; i < (ten ? 9 : 14); ++i) count = (count << 8) | cdb[i];
  return {lba, lba + count};
}

struct Geometry {
  std::uint32_t blockLength;
  std::size_t chunk;
};
void PrintTo(const Geometry& g, std::ostream* os) { *os << g.blockLength << "-byte blocks, reads of " << g.chunk; }

class ScsiSourceWhole : public ::testing::TestWithParam<Geometry> {};

TEST_P(ScsiSourceWhole, ReadsEveryByteThenShortThenZero) {
  const Geometry g = GetParam();
  Disk d({.blockLength = g.blockLength, .blockCount = 1003});  // not a whole number of 128-block transfers
  const ReadAll all = readAll(*d.src, g.chunk);
  const std::size_t total = std::size_t{1003} * g.blockLength;
  ASSERT_EQ(all.data.size(), total);
  EXPECT_EQ(firstMismatch(all.data, g.blockLength), total);

  // Full reads, then one short read with the remainder, then 0 bytes.
  ASSERT_GE(all.results.size(), 3u);
  const std::size_t n = all.results.size();
  for (std::size_t i = 0; i < n; ++i)
    EXPECT_EQ(got(all.results[i]), got({i + 2 < n ? g.chunk : i + 2 == n ? total % g.chunk : 0, 0})) << "read " << i;
  std::vector<std::byte> buf(100);
  EXPECT_EQ(got(d.src->read(buf)), got({0, 0})) << "still at the end";

  // Every block was read exactly once, by whole-block READ(10) commands of at
  // most 128 blocks, in order: a read ending mid-block keeps the rest of
  // that block for the next read.
  std::uint64_t next = 0;
  for (const auto& cdb : d.target.log()) {
    ASSERT_EQ(cdb.size(), 10u);
    ASSERT_EQ(cdb[0], 0x28);
    const auto [from, to] = readRange(cdb);
    EXPECT_EQ(from, next);
    EXPECT_GE(to - from, 1u);
    EXPECT_LE(to - from, 128u);
    next = to;
  }
  EXPECT_EQ(next, 1003u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScsiSourceWhole,
                         ::testing::Values(Geometry{520, 66560}, Geometry{528, 64527}, Geometry{520, 513},
                                           Geometry{528, 131072}),
                         [](const auto& info) {
                           return "block" + std::to_string(info.param.blockLength) + "_read" +
                                  std::to_string(info.param.chunk);
                         });

// A medium error at block k: EIO after every byte before it, delivered by
// the failing read up to k; a further read stays at k and fails again.
struct BadBlock {
  std::uint64_t lba;
  bool namesLba = true;    // the sense names the failing block
  int commandsOverIt = 0;  // 0: not compared
  Range lastCommand{};     // {0, 0}: not compared
};
void PrintTo(const BadBlock& b, std::ostream* os) { *os << "block " << b.lba << (b.namesLba ? " named" : " unnamed"); }

class ScsiSourceMediumError : public ::testing::TestWithParam<BadBlock> {};

TEST_P(ScsiSourceMediumError, FailsWithEioAfterTheBlocksBeforeIt) {
  const BadBlock c = GetParam();
  Disk d({.blockLength = 520, .blockCount = 1003, .mediumErrorLba = c.lba, .mediumErrorNamesLba = c.namesLba});
  const ReadAll all = readAll(*d.src, 66560);
  ASSERT_FALSE(all.results.empty());
  const IoResult last = all.results.back();
  EXPECT_EQ(last.error, EIO);
  const std::size_t before = static_cast<std::size_t>(c.lba) * 520;
  ASSERT_EQ(all.data.size(), before);
  EXPECT_EQ(firstMismatch(all.data, 520), before);
  EXPECT_EQ(last.bytes, before % 66560);
  for (std::size_t i = 0; i + 1 < all.results.size(); ++i) EXPECT_EQ(all.results[i].bytes, 66560u);

  std::vector<std::byte> buf(520);
  EXPECT_EQ(got(d.src->read(buf)), got({0, EIO})) << "a further read stays at the bad block";

  // Named, the bad block is not read again; unnamed, a single-block read
  // after the multi-block one pins it down.
  int over = 0;
  for (const auto& cdb : d.target.log()) {
    const auto [from, to] = readRange(cdb);
    over += c.lba >= from && c.lba < to;
  }
  if (c.commandsOverIt) { EXPECT_EQ(over, c.commandsOverIt); }
  if (c.lastCommand != Range{}) {
    ASSERT_FALSE(d.target.log().empty());
    EXPECT_EQ(readRange(d.target.log().back()), c.lastCommand);
  }
}

INSTANTIATE_TEST_SUITE_P(Lbas, ScsiSourceMediumError,
                         ::testing::Values(BadBlock{0}, BadBlock{1}, BadBlock{127}, BadBlock{128}, BadBlock{1002},
                                           BadBlock{300, true, 1, {256, 300}}, BadBlock{300, false, 2, {300, 301}}),
                         [](const auto& info) {
                           return "block" + std::to_string(info.param.lba) + (info.param.namesLba ? "" : "_unnamed");
                         });

// Failures of the transport itself end the read with their errno.
TEST(ScsiSource, TransportErrorIsReportedWithItsErrno) {
  class Gone final : public ScsiTransport {
   public:
    ScsiResult execute(std::span<const std::uint8_t>, std::span<std::uint8_t>, unsigned) override {
      ScsiResult r;
      r.osError = ENODEV;
      return r;
    }
  };
  std::vector<std::byte> buf(4096);
  EXPECT_EQ(got(makeScsiSource(std::make_unique<Gone>(), 100, 520)->read(buf)), got({0, ENODEV}));
  EXPECT_EQ(got(makeScsiSource(nullptr, 100, 520)->read(buf)), got({0, ENODEV})) << "no transport";
}

TEST(ScsiSource, UnitAttentionAfterResetIsRetried) {
  Disk d({.blockLength = 528, .blockCount = 4, .unitAttentions = 1});
  const ReadAll all = readAll(*d.src, 4096);
  EXPECT_EQ(all.data.size(), 4u * 528);
  EXPECT_EQ(firstMismatch(all.data, 528), all.data.size());
  EXPECT_EQ(d.target.log().size(), 2u);
}

TEST(ScsiSource, LargeTransferUsesRead16WhenCountExceeds16Bits) {
  Disk d({.blockLength = 520, .blockCount = 0x10001}, 0x10001);
  std::vector<std::byte> buf(std::size_t{0x10001} * 520);
  EXPECT_EQ(got(d.src->read(buf)), got({buf.size(), 0}));
  ASSERT_EQ(d.target.log().size(), 1u);
  EXPECT_EQ(d.target.log()[0][0], 0x88);
  EXPECT_EQ(readRange(d.target.log()[0]), (Range{0, 0x10001}));
  EXPECT_EQ(firstMismatch(buf, 520), buf.size());
}

}  // namespace
}  // namespace mdi
