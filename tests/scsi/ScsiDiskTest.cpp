#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "platform/fakes/SimulatedScsiTarget.h"
#include "platform/linux/ScsiDisk.h"

namespace mdi {
namespace {

TEST(ScsiProbe, DiskGivesIdentityAndCapacity) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 520;
  cfg.blockCount = 585937500;
  cfg.vendor = "HITACHI";
  cfg.product = "HUS15603 CLAR300";
  SimulatedScsiTarget target(cfg);
  const auto info = probeScsiDisk(target);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->inquiry.vendor, "HITACHI");
  EXPECT_EQ(info->capacity.blockCount, 585937500u);
  EXPECT_EQ(info->capacity.blockLength, 520u);

  DriveRecord rec;
  rec.deviceId = "/dev/sdc";
  applyScsiDiskInfo(rec, *info);
  EXPECT_EQ(rec.model, "HITACHI HUS15603 CLAR300");
  EXPECT_EQ(rec.size, 585937500ull * 520);
  EXPECT_EQ(rec.bytesPerSector, 520u);
  EXPECT_EQ(rec.deviceId, "/dev/sdc");
}

TEST(ScsiProbe, NonDiskIsRejectedWithoutAskingCapacity) {
  SimulatedScsiConfig cfg;
  cfg.peripheralType = 5;  // CD/DVD
  SimulatedScsiTarget target(cfg);
  EXPECT_FALSE(probeScsiDisk(target));
  ASSERT_EQ(target.log().size(), 1u);
  EXPECT_EQ(target.log()[0][0], 0x12);
}

TEST(ScsiProbe, CapacityFallsBackTo10) {
  SimulatedScsiConfig cfg;
  cfg.blockLength = 528;
  cfg.blockCount = 4096;
  cfg.rejectReadCapacity16 = true;
  SimulatedScsiTarget target(cfg);
  const auto info = probeScsiDisk(target);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->capacity.blockCount, 4096u);
  EXPECT_EQ(info->capacity.blockLength, 528u);
}

TEST(ScsiProbe, MissingNodeFailsWithEnoent) {
  errno = 0;
  EXPECT_FALSE(probeScsiDisk(std::string("/nonexistent/scsi-node-for-test")));
  EXPECT_EQ(errno, ENOENT);
}

TEST(ScsiOpen, MissingNodeGivesFailedSource) {
  auto src = openScsiSource("/nonexistent/scsi-node-for-test");
  ASSERT_NE(src, nullptr);
  std::vector<std::byte> buf(512);
  const IoResult r = src->read(buf);
  EXPECT_EQ(r.bytes, 0u);
  EXPECT_EQ(r.error, ENOENT);
}

TEST(ScsiOpen, RegularFileGivesFailedSourceWithEnotty) {
  char path[] = "/tmp/scsidisk-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "data", 4), 4);
  ::close(fd);
  auto src = openScsiSource(path);
  std::vector<std::byte> buf(4);
  const IoResult r = src->read(buf);
  EXPECT_EQ(r.bytes, 0u);
  EXPECT_EQ(r.error, ENOTTY);
  ::unlink(path);
}

}  // namespace
}  // namespace mdi
