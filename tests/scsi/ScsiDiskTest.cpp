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
#include "platform/linux/SgTransport.h"
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

// The probe's capacity, protection type included, carried into the drive
// record: model "vendor product", size blocks times length.
TEST(ScsiProbe, DiskGivesIdentityCapacityAndProtection) {
  struct Case {
    const char* name;
    std::uint32_t length;
    std::uint64_t count;
    int protection;
    bool rejectRc16;
    int protectionSeen;
  };
  const Case cases[] = {
      {"Type0", 520, 585937500, 0, false, 0},
      {"Type2", 520, 4096, 2, false, 2},
      {"FallbackTo10LosesTheType", 528, 4096, 1, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedScsiTarget target(SimulatedScsiConfig{.blockLength = c.length,
                                                   .blockCount = c.count,
                                                   .rejectReadCapacity16 = c.rejectRc16,
                                                   .protectionType = c.protection,
                                                   .vendor = "HITACHI",
                                                   .product = "HUS15603 CLAR300"});
    const auto info = probeScsiDisk(target);
    ASSERT_TRUE(info);
    DriveRecord rec;
    rec.deviceId = "/dev/sdc";
    applyScsiDiskInfo(rec, *info);
    EXPECT_EQ(std::tuple(rec.model, rec.size, rec.bytesPerSector, rec.protectionType, rec.deviceId),
              std::tuple("HITACHI HUS15603 CLAR300", c.count * c.length, c.length, c.protectionSeen, "/dev/sdc"));
  }
}

TEST(ScsiProbe, NonDiskIsRejectedWithoutAskingCapacity) {
  SimulatedScsiTarget target(SimulatedScsiConfig{.peripheralType = 5});  // CD/DVD
  EXPECT_FALSE(probeScsiDisk(target));
  EXPECT_EQ(opcodes(target), Opcodes{0x12});
}

// READ CAPACITY(16) first, (10) when the device refuses it.
TEST(ScsiCapacity, SixteenFirstThenTen) {
  struct Case {
    const char* name;
    std::uint64_t count;
    bool reject16;
    std::optional<std::uint64_t> seen;
    Opcodes sent;
  };
  const Case cases[] = {
      {"Rc16Answers", 0x123456789ull, false, 0x123456789ull, {0x9E}},
      {"RejectedRc16FallsBackTo10", 1003, true, 1003, {0x9E, 0x25}},
      {"TooLargeFor10IsUnknown", 0x200000000ull, true, std::nullopt, {0x9E, 0x25}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedScsiTarget target(
        SimulatedScsiConfig{.blockLength = 528, .blockCount = c.count, .rejectReadCapacity16 = c.reject16});
    const auto cap = readCapacity(target);
    ASSERT_EQ(cap.has_value(), c.seen.has_value());
    if (cap) {
      EXPECT_EQ(cap->blockCount, *c.seen);
      EXPECT_EQ(cap->blockLength, 528u);
    }
    EXPECT_EQ(opcodes(target), c.sent);
    if (c.sent.size() == 1) { EXPECT_EQ(target.log()[0][1], 0x10) << "service action READ CAPACITY(16)"; }
  }
}

// A node that is missing, or a regular file (no SG_IO), through each way
// in: the errno says which.
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
      {"openSgTransport",
       [](const std::string& p) {
         errno = 0;
         return openSgTransport(p) ? -1 : errno;
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
