// A disk over pass-through commands, on a simulated target: what a probe
// asks it (INQUIRY, READ CAPACITY) and finds; reading it, every byte in
// order from whole-block READs, and where a read fails; and nodes that are
// not pass-through devices. Then the replies and sense data the reader
// parses, as pure functions over bytes, for the edges a simulated disk does
// not send; parsed values are compared whole, as tuples of their fields.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/ScsiCommands.h"
#include "platform/ScsiSource.h"
#include "platform/linux/ScsiDisk.h"
#include "tests/CaseName.h"
#include "tests/TestDir.h"
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

// A disk of 1,003 blocks (not a whole number of 128-block transfers) read
// in `chunk`-byte requests, whole, or up to a medium error at block `bad`:
// every byte in order, then one short read with the remainder and 0 bytes,
// or EIO after every byte before the bad block, delivered by the failing
// read; a further read stays at the end, or at the bad block and fails
// again.
struct ReadCase {
  std::string name;
  std::uint32_t blockLength;
  std::size_t chunk;
  std::optional<std::uint64_t> bad = std::nullopt;
  bool namesLba = true;    // the sense names the failing block
  int commandsOverIt = 0;  // 0: not compared
  Range lastCommand{};     // {0, 0}: not compared
};

class ScsiSourceRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ScsiSourceRead, EveryByteInOrderUpToTheEndOrTheBadBlock) {
  const ReadCase& c = GetParam();
  const std::uint32_t bl = c.blockLength;
  Disk d({.blockLength = bl, .blockCount = 1003, .mediumErrorLba = c.bad, .mediumErrorNamesLba = c.namesLba});
  const ReadAll all = readAll(*d.src, c.chunk);
  const std::size_t end = std::size_t{c.bad.value_or(1003)} * bl;
  ASSERT_EQ(all.data.size(), end);
  EXPECT_EQ(firstMismatch(all.data, bl), end);
  std::vector<std::pair<std::size_t, int>> want(end / c.chunk, {c.chunk, 0}), results;
  if (c.bad) want.push_back({end % c.chunk, EIO});
  else if (end % c.chunk) want.push_back({end % c.chunk, 0});
  if (!c.bad) want.push_back({0, 0});
  for (const IoResult& r : all.results) results.push_back(got(r));
  EXPECT_EQ(results, want);
  std::vector<std::byte> buf(100);
  EXPECT_EQ(got(d.src->read(buf)), got({0, c.bad ? EIO : 0})) << "a further read stays where the last one ended";

  if (!c.bad) {
    // Every block was read exactly once, by whole-block READ(10) commands of
    // at most 128 blocks, in order: a read ending mid-block keeps the rest
    // of that block for the next read.
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
    return;
  }
  // Named, the bad block is not read again; unnamed, a single-block read
  // after the multi-block one pins it down.
  int over = 0;
  for (const auto& cdb : d.target.log()) {
    const auto [from, to] = readRange(cdb);
    over += *c.bad >= from && *c.bad < to;
  }
  if (c.commandsOverIt) { EXPECT_EQ(over, c.commandsOverIt); }
  if (c.lastCommand != Range{}) {
    ASSERT_FALSE(d.target.log().empty());
    EXPECT_EQ(readRange(d.target.log().back()), c.lastCommand);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, ScsiSourceRead,
    ::testing::Values(ReadCase{"Block520Read66560", 520, 66560}, ReadCase{"Block528Read64527", 528, 64527},
                      ReadCase{"Block520Read513", 520, 513}, ReadCase{"Block528Read131072", 528, 131072},
                      ReadCase{"BadBlock0", 520, 66560, 0}, ReadCase{"BadBlock1", 520, 66560, 1},
                      ReadCase{"BadBlock127", 520, 66560, 127}, ReadCase{"BadBlock128", 520, 66560, 128},
                      ReadCase{"BadBlock1002", 520, 66560, 1002, true, 1},
                      ReadCase{"BadBlock300Named", 520, 66560, 300, true, 1, {256, 300}},
                      ReadCase{"BadBlock300Unnamed", 520, 66560, 300, false, 2, {300, 301}}),
    ByName());

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

// A transfer of more blocks than READ(10) can count is one READ(16); a
// device just reset answers it with UNIT ATTENTION, and it is sent again.
TEST(ScsiSource, LargeTransferUsesRead16AndIsRetriedAfterAReset) {
  Disk d({.blockLength = 520, .blockCount = 0x10001, .unitAttentions = 1}, 0x10001);
  std::vector<std::byte> buf(std::size_t{0x10001} * 520);
  EXPECT_EQ(got(d.src->read(buf)), got({buf.size(), 0}));
  ASSERT_EQ(d.target.log().size(), 2u);
  for (const auto& cdb : d.target.log())
    EXPECT_EQ(std::pair(int{cdb[0]}, readRange(cdb)), std::pair(0x88, Range{0, 0x10001}));
  EXPECT_EQ(firstMismatch(buf, 520), buf.size());
}

using Opcodes = std::vector<std::uint8_t>;

Opcodes opcodes(const SimulatedScsiTarget& t) {
  Opcodes ops;
  for (const auto& cdb : t.log()) ops.push_back(cdb[0]);
  return ops;
}

// What a probe finds, carried into the drive record (model "vendor
// product", size blocks times length), and the commands it sent: INQUIRY,
// READ CAPACITY(16), and (10) only when the device refuses (16).
struct ProbeCase {
  const char* name;
  SimulatedScsiConfig disk;
  std::optional<std::tuple<std::uint64_t, std::uint32_t, int>> seen;  // size, block length, protection
  Opcodes sent;
};
class ScsiProbeOf : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ScsiProbeOf, DiskGivesIdentityCapacityAndProtection) {
  SimulatedScsiConfig cfg = GetParam().disk;
  cfg.vendor = "HITACHI";
  cfg.product = "HUS15603 CLAR300";
  SimulatedScsiTarget target(cfg);
  const auto info = probeScsiDisk(target);
  EXPECT_EQ(opcodes(target), GetParam().sent);
  ASSERT_EQ(info.has_value(), GetParam().seen.has_value());
  if (!info) return;
  DriveRecord rec;
  applyScsiDiskInfo(rec, *info);
  EXPECT_EQ(rec.model, "HITACHI HUS15603 CLAR300");
  EXPECT_EQ(std::tuple(rec.size, rec.bytesPerSector, rec.protectionType), *GetParam().seen);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, ScsiProbeOf,
    ::testing::Values(ProbeCase{"Rc16Type2Above32Bits",
                                {.blockLength = 528, .blockCount = 0x123456789ull, .protectionType = 2},
                                {{0x123456789ull * 528, 528, 2}},
                                {0x12, 0x9E}},
                      ProbeCase{
                          "FallbackTo10LosesTheType",
                          {.blockLength = 528, .blockCount = 4096, .rejectReadCapacity16 = true, .protectionType = 1},
                          {{4096 * 528, 528, 0}},
                          {0x12, 0x9E, 0x25}},
                      ProbeCase{"TooLargeFor10IsUnknown",
                                {.blockLength = 528, .blockCount = 0x200000000ull, .rejectReadCapacity16 = true},
                                std::nullopt,
                                {0x12, 0x9E, 0x25}},
                      ProbeCase{"NonDiskIsRejectedWithoutAskingCapacity", {.peripheralType = 5}, std::nullopt, {0x12}}),
    ByName());

// A node that is missing, or a regular file (no SG_IO), through each way
// in (both open the transport): the errno says which.
TEST(ScsiOpen, NodesThatAreNotPassThroughDevicesFailWithTheirErrno) {
  const ScratchDir dir("mdi-scsi-");
  std::ofstream(dir / "file") << "data";
  const std::pair<std::string, int> nodes[] = {{"/nonexistent/scsi-node-for-test", ENOENT}, {dir / "file", ENOTTY}};
  for (const auto& [node, error] : nodes) {
    errno = 0;
    const ScsiProbe probe = probeScsiDisk(node);
    EXPECT_EQ(std::tuple(probe.info.has_value(), probe.denied, errno), std::tuple(false, false, error)) << node;
    std::vector<std::byte> buf(512);
    EXPECT_EQ(got(openScsiSource(node)->read(buf)), got({0, error})) << node;
  }
}

using Bytes = std::vector<std::uint8_t>;

auto fieldsOf(const std::optional<ScsiCapacity>& c) {
  return c ? std::optional(std::tuple(c->blockCount, c->blockLength, c->protectionType)) : std::nullopt;
}

TEST(ScsiCdb, Read10FitsOnlyWithin32BitLbaAnd16BitCount) {
  EXPECT_TRUE(fitsRead10(0xFFFFFF80ull, 128));
  EXPECT_TRUE(fitsRead10(0, 0xFFFF));
  EXPECT_FALSE(fitsRead10(0xFFFFFF81ull, 128));  // last block past 2^32 - 1
  EXPECT_FALSE(fitsRead10(0, 0x10000));
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
      {"Type3PiExponentBitsIgnored", true, rc16(0x35, 32), ScsiCapacity{1000, 520, 3}},
      {"PTypeWithoutProtEnIsNone", true, rc16(0x02, 32), ScsiCapacity{1000, 520, 0}},
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
