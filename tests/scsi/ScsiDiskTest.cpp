// Asking a disk what it is (INQUIRY, READ CAPACITY) over a simulated
// target, and opening pass-through nodes that are not disks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/linux/ScsiDisk.h"
#include "tests/CaseName.h"
#include "tests/fakes/SimulatedScsiTarget.h"

// Configurations name only the fields they set; GCC counts an optional
// left out of a designated initializer as missing.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace mdi {
namespace {

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
    ::testing::Values(
        ProbeCase{"Type0", {.blockLength = 520, .blockCount = 585937500}, {{585937500ull * 520, 520, 0}}, {0x12, 0x9E}},
        ProbeCase{"Type2",
                  {.blockLength = 520, .blockCount = 4096, .protectionType = 2},
                  {{4096 * 520, 520, 2}},
                  {0x12, 0x9E}},
        ProbeCase{"Rc16Above32Bits",
                  {.blockLength = 528, .blockCount = 0x123456789ull},
                  {{0x123456789ull * 528, 528, 0}},
                  {0x12, 0x9E}},
        ProbeCase{"FallbackTo10LosesTheType",
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
  char file[] = "/tmp/scsidisk-XXXXXX";
  const int fd = ::mkstemp(file);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "data", 4), 4);
  ::close(fd);
  const std::string missing = "/nonexistent/scsi-node-for-test";
  // Each returns the errno of its failure, or -1 when it did not fail.
  const std::pair<const char*, std::function<int(const std::string&)>> ways[] = {
      {"probeScsiDisk",
       [](const std::string& p) {
         errno = 0;
         const ScsiProbe probe = probeScsiDisk(p);
         return probe.info || probe.denied ? -1 : errno;
       }},
      {"openScsiSource",
       [](const std::string& p) {
         auto src = openScsiSource(p);
         std::vector<std::byte> buf(512);
         const IoResult r = src ? src->read(buf) : IoResult{};
         return src && r.bytes == 0 && r.failed() ? r.error : -1;
       }},
  };
  for (const auto& [name, open] : ways) {
    SCOPED_TRACE(name);
    EXPECT_EQ(open(missing), ENOENT);
    EXPECT_EQ(open(file), ENOTTY);
  }
  ::unlink(file);
}

}  // namespace
}  // namespace mdi
