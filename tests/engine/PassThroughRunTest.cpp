// A mutate run from a simulated 520/528-byte-sector SCSI disk read through
// the pass-through source, as a real array disk would be.
#include "platform/ScsiSource.h"
#include "platform/fakes/SimulatedScsiTarget.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

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
  SimulatedScsiConfig config;
};

class PassThroughRun : public RunFixture, public ::testing::WithParamInterface<std::uint32_t> {
 protected:
  void runFrom(SimulatedScsiConfig c) {
    table = std::make_unique<SimulatedDiskTable>(c);
    Services s2{ui, msg, pickers, fsys, files, *table, clock, pump, launcher, locale, io, records, system};
    sv2 = std::make_unique<Services>(s2);
    ctl = std::make_unique<RunController>(form, *sv2, progress);
    ui.setChecked(Ctl::Check2, true);
    const int row = form.iGrid2.addRow();
    form.iGrid2.setValue(row, JobCol::ID, std::int64_t{0});
    form.iGrid2.setValue(row, JobCol::Model, "SIMUL ARRAY DISK");
    form.iGrid2.setValue(row, JobCol::SizeI, static_cast<std::int64_t>(c.blockCount * c.blockLength));
    form.iGrid2.setValue(row, JobCol::FileName, defaultOutputName(row, form.run.TargetFolder));
    form.iGrid2.setValue(row, JobCol::SectorIn, std::to_string(c.blockLength));
    form.iGrid2.setValue(row, JobCol::SectorOut, "512");
    ctl->RunClicked();
  }
  std::unique_ptr<SimulatedDiskTable> table;
  std::unique_ptr<Services> sv2;
  std::unique_ptr<RunController> ctl;
};

TEST_P(PassThroughRun, EveryImageSectorIsTheStartOfADiskSector) {
  SimulatedScsiConfig c;
  c.blockLength = GetParam();
  c.blockCount = 1003;  // not a whole number of transfers
  runFrom(c);
  const auto out = readFile(output(1));
  ASSERT_EQ(out.size(), 1003u * 512);
  for (std::uint64_t lba = 0; lba < c.blockCount; ++lba)
    for (std::uint32_t o = 0; o < 512; o += 37)
      ASSERT_EQ(std::to_integer<std::uint8_t>(out[lba * 512 + o]), SimulatedScsiTarget::byteAt(lba, o))
          << "sector " << lba << " byte " << o;
  EXPECT_EQ(status(1), "Done.");
}
INSTANTIATE_TEST_SUITE_P(BlockLengths, PassThroughRun, ::testing::Values(520u, 528u));

TEST_F(PassThroughRun, MediumErrorEndsReadErrorWithEverythingBeforeIt) {
  SimulatedScsiConfig c;
  c.blockLength = 520;
  c.blockCount = 600;
  c.mediumErrorLba = 300;
  runFrom(c);
  EXPECT_EQ(status(1), "Read Error ... at byte 156,000");
  const auto out = readFile(output(1));
  ASSERT_EQ(out.size(), 300u * 512) << "every readable sector before the bad one, and nothing after";
  for (std::uint64_t lba = 0; lba < 300; ++lba)
    ASSERT_EQ(std::to_integer<std::uint8_t>(out[lba * 512 + 5]), SimulatedScsiTarget::byteAt(lba, 5)) << lba;
}

}  // namespace
}  // namespace mdi::test
