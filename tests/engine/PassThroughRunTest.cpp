// A mutate run from a simulated 520/528-byte-sector SCSI disk read through
// the pass-through source, as a real array disk would be.
#include "platform/ScsiSource.h"
#include "tests/engine/RunFixture.h"
#include "tests/fakes/SimulatedScsiTarget.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

// Drive 0 is a simulated SCSI disk; nothing else is attached.
class SimulatedDiskTable final : public DriveTable {
 public:
  explicit SimulatedDiskTable(SimulatedScsiConfig c) : config(std::move(c)) {}
  std::optional<DriveIdentity> drive(int n) const override {
    if (n != 0) return std::nullopt;
    return DriveIdentity{"/dev/sim0", config.blockCount * config.blockLength, "sim", std::nullopt};
  }
  std::string checkUnchanged(int n) const override { return n == 0 ? "" : "not attached"; }
  std::unique_ptr<Source> openSource(int) override {
    return makeScsiSource(std::make_unique<SimulatedScsiTarget>(config), config.blockCount, config.blockLength);
  }
  std::optional<std::uint64_t> deviceNumber(int) const override { return 0x0810; }
  std::vector<int> drivesUnder(const std::string&) const override { return {}; }
  // As discovery lists a disk the kernel attached at size 0.
  std::optional<DriveRecord> listedRecord(int n) const override {
    if (n != 0) return std::nullopt;
    DriveRecord r;
    r.deviceId = "/dev/sim0";
    r.model = "SIMUL ARRAY DISK";
    r.size = config.blockCount * config.blockLength;
    r.bytesPerSector = config.blockLength;
    r.passThrough = true;
    return r;
  }
  SimulatedScsiConfig config;
};

struct DiskCase {
  const char* name;
  std::uint32_t blockLength;
  std::uint64_t blockCount;
  std::optional<std::uint64_t> mediumErrorLba;
  const char* status;
  std::uint64_t keptSectors;
};

class PassThroughRun : public RunFixture, public ::testing::WithParamInterface<DiskCase> {};

TEST_P(PassThroughRun, EveryImageSectorIsTheStartOfADiskSectorUpToTheFirstBadOne) {
  const DiskCase& c = GetParam();
  SimulatedScsiConfig config;
  config.blockLength = c.blockLength;
  config.blockCount = c.blockCount;
  if (c.mediumErrorLba) config.mediumErrorLba = *c.mediumErrorLba;
  SimulatedDiskTable table(config);
  Services withDisk{ui, msg, pickers, fsys, files, table, clock, pump, launcher, locale, io, records, system};
  RunController run(form, withDisk, progress);
  setMutate(true);
  const int row =
      addDriveJob("0", static_cast<std::int64_t>(c.blockCount * c.blockLength), "", std::to_string(c.blockLength));
  form.iGrid2.setValue(row, JobCol::Model, "SIMUL ARRAY DISK");
  run.RunClicked();
  EXPECT_EQ(status(1), c.status);
  const Fields want{{"source_path", "/dev/sim0"},
                    {"source_sector_size", std::to_string(c.blockLength)},
                    {"source_pass_through", "yes"}};
  EXPECT_EQ(fieldsOf(record(1), want), want);
  const auto out = readFile(output(1));
  ASSERT_EQ(out.size(), c.keptSectors * 512) << "every readable sector before a bad one, and nothing after";
  for (std::uint64_t lba = 0; lba < c.keptSectors; ++lba)
    for (std::uint32_t o = 0; o < 512; o += 37)
      ASSERT_EQ(std::to_integer<std::uint8_t>(out[lba * 512 + o]), SimulatedScsiTarget::byteAt(lba, o))
          << "sector " << lba << " byte " << o;
}
INSTANTIATE_TEST_SUITE_P(
    Disks, PassThroughRun,
    ::testing::Values(DiskCase("Sectors520", 520, 1003, std::nullopt, "Done.", 1003),  // not whole transfers
                      DiskCase("Sectors528", 528, 1003, std::nullopt, "Done.", 1003),
                      DiskCase("MediumError", 520, 600, 300, "Read Error ... at byte 156,000", 300)),
    ByName{});

}  // namespace
}  // namespace mdi::test
