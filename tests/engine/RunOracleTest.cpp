// Every job ends with a status that tells the truth about its image, and
// the image, its .extra, digests, record and map hold exactly what was
// copied: to the end, cut short by a Stop or by Exit, ended at the first
// unreadable byte or the first failed write, or gone past read errors with
// zeros for the unread sectors. The reference model is in RunModel.h; each
// row here is a source, a fault and the options.
#include "platform/ScsiSource.h"
#include "tests/engine/RunOracle.h"
#include "tests/fakes/SimulatedScsiTarget.h"
#include "tests/layouts/PiSectors.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

// Drive 0 is a simulated SCSI disk read through pass-through, as a real
// array disk would be; nothing else is attached.
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

class EngineRun : public RunOracle {
 public:
  Made makeSource(const Row& r) override {
    const std::string in = std::to_string(r.s()), out = std::to_string(r.t);
    const auto size = static_cast<std::int64_t>(r.bytes);
    if (r.from == From::Scsi) {
      SimulatedScsiConfig config;
      config.blockLength = static_cast<std::uint32_t>(r.s());
      config.blockCount = r.bytes / config.blockLength;
      if (!r.bad.empty()) config.mediumErrorLba = r.bad[0].begin / config.blockLength;
      scsi.emplace(config);
      routedDrives.to = &*scsi;
      form.iGrid2.setValue(addDriveJob("0", size, "", in, out), JobCol::Model, "SIMUL ARRAY DISK");
      Bytes data(r.bytes);
      for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = std::byte{SimulatedScsiTarget::byteAt(i / config.blockLength, i % config.blockLength)};
      return {data, "/dev/sim0", {{"source_sector_size", in}, {"source_pass_through", "yes"}}};
    }
    Bytes data = r.pi.empty() ? patternBytes(r.bytes, 3) : sectors(r.pi, 0);
    const std::string path = src("src.img", data);
    if (r.from == From::File) {
      addFileJob(path, r.declared, in, out);
      return {data, path};
    }
    drives.add(3, {DriveIdentity{"/dev/sdx", data.size(), "0x5000c500a1b2c3d4"}, path, 0, ""});
    drives.describe(3, {"ACME ARRAY DISK", "Z1X2Y3", static_cast<std::uint32_t>(r.s()), r.piType});
    form.iGrid2.setValue(addDriveJob("3", static_cast<std::int64_t>(data.size()), "", in, out), JobCol::Model,
                         "ACME ARRAY DISK");
    system.host = "bench-7";
    return {data,
            "/dev/sdx",
            {{"source_type", "drive"},
             {"source_model", "ACME ARRAY DISK"},
             {"source_serial", "0x5000c500a1b2c3d4"},
             {"source_size", std::to_string(r.bytes)},
             {"source_sector_size", in},
             {"source_pass_through", "no"},
             {"host", "bench-7"},
             {"start_utc", "1970-01-01T00:00:00Z"}}};
  }
  std::optional<SimulatedDiskTable> scsi;
};

TEST_P(EngineRun, EndsAsTheModelPredicts) { check(GetParam()); }

constexpr auto kFirst = SectorLayout::DataFirst, kLast = SectorLayout::DataLast, kGroups = SectorLayout::Groups4K;
// Main-pass steps of a straight job, and of a mutate one from 520 and 512.
const std::uint64_t kStep = blocksPerPiece(kBlock, false) * kBlock;
const std::uint64_t kStep520 = blocksPerPiece(128 * 520, true) * 128 * 520;
const std::uint64_t kStep512 = blocksPerPiece(65536, true) * 65536;
const HashAlgos kAll{HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1};

// Every pair of sector sizes, converted in more than three steps and a
// partial last sector, each step writing whole blocks of target sectors.
std::vector<Row> everyPair() {
  std::vector<Row> rows;
  for (const auto& [pair, lengths] : blockTable()) {
    const auto [s, t] = pair;
    const std::uint64_t sectors = 3 * 128 * blocksPerPiece(lengths.read, true) + 41;
    rows.push_back({.name = "Pair_" + std::to_string(s) + "_to_" + std::to_string(t),
                    .mutate = s,
                    .t = t,
                    .bytes = sectors * s + s / 3});
  }
  return rows;
}

// The protection-information check's counts, from sectors laid out one
// letter each (PiSectors.h); a drive's reported type decides whether
// reference tags count.
std::string kinds(std::initializer_list<std::pair<std::size_t, char>> runs) {
  std::string k;
  for (auto [n, c] : runs) k.append(n, c);
  return k;
}
const std::string kTwoBadTags = kinds({{20, 'G'}, {1, 'R'}, {99, 'G'}, {1, 'R'}, {79, 'G'}});
Row pi(std::string name, std::string kinds, PiReport report, int driveType = 0, bool verify = false) {
  return {.name = std::move(name),
          .from = driveType ? From::Drive : From::File,
          .mutate = 520,
          .bytes = kinds.size() * 520,
          .verify = verify,
          .pi = std::move(kinds),
          .piType = driveType,
          .piReport = std::move(report)};
}

// A source of 16,000 sectors with a bad one and a bad area, gone past,
// broken off as `how` says and resumed. Step 180 falls in trimming.
Row resumed(std::string name, int mutate, SectorLayout layout, Resume how, int step = 0, char pass = '?') {
  const std::uint64_t s = mutate ? mutate : 512;
  return {.name = std::move(name),
          .mutate = mutate,
          .layout = layout,
          .bytes = 16000 * s,
          .bad = {unreadable(3000 * s, s, true, 0), unreadable(9000 * s, 40 * s, true, 0)},
          .step = step,
          .goPast = true,
          .resume = how,
          .pass = pass};
}

// The same, its first bad range one that a read stops 100 bytes into.
Row shortFirst(Row r) {
  const std::uint64_t s = static_cast<std::uint64_t>(r.s());
  r.bad.front() = unreadable(3000 * s + 100, 512, false, 0);
  return r;
}

const Row kRows[] = {
    // To the end: the cycles and bytes counted as if each block were read alone.
    {.name = "StraightEndInsideAStep", .bytes = 5 * kBlock + 100, .hashes = kAll},
    {.name = "StraightThousandBlocks", .bytes = 1000 * kBlock},
    {.name = "StraightTiny", .bytes = 511},
    {.name = "MutateEndInsideAStep", .mutate = 512, .bytes = 9 * 65536 + 512},
    {.name = "MutateTrailingPartialSector", .mutate = 520, .bytes = 10 * 520 + 480, .hashes = kAll},
    {.name = "DataLast_524_to_512", .mutate = 524, .layout = kLast, .bytes = 386 * 524 + 400},
    {.name = "DataLast_520_to_520", .mutate = 520, .t = 520, .layout = kLast, .bytes = 384 * 520 + 77},
    {.name = "Groups_last_group_into_its_check", .mutate = 520, .layout = kGroups, .bytes = 391 * 520 + 500},
    {.name = "Groups_partial_sector", .mutate = 520, .layout = kGroups, .bytes = 259 * 520 + 130},
    {.name = "DriveJob", .from = From::Drive, .bytes = 3 * kBlock},
    {.name = "PassThrough520", .from = From::Scsi, .mutate = 520, .bytes = 1003 * 520},
    {.name = "PassThrough528", .from = From::Scsi, .mutate = 528, .bytes = 1003 * 528},
    // Several jobs: the run is sized by its largest job wherever it stands
    // in the list, and its cycles follow the job furthest behind. Beside
    // the long one, jobs shorter than a block and than a sector.
    {.name = "LongAndShortSideBySide",
     .bytes = 10 * kBlock,
     .others = {{20 * kBlock + 3 * 512 + 7}, {kBlock - 1}, {12345}, {0}, {1}, {511}, {513}},
     .shutdown = true},
    // By its Size cell, not its source's length: a source longer than its
    // Size cell grows the image, one shorter is cut to what was copied.
    {.name = "LargestJobSizesTheRun",
     .bytes = 300000,
     .others = {{3000, 200000}, {10, 131072000}, {10, 5}},
     .declared = 1000},
    {.name = "EmptyJobGivesOneBlockAndNoBar", .bytes = 0, .shutdown = true},
    {.name = "MutateLargestIsTheFirstOfEqualSizes",
     .mutate = 512,
     .bytes = 100,
     .others = {{300, -1, 520}, {300}},
     .shutdown = true},
    // The operator is told when the target may not hold what the run
    // writes, and goes on.
    {.name = "FreeSpaceShortOfTheRecordsOfTwoJobs", .bytes = 1000, .others = {{3000}}, .spare = -1},
    {.name = "FreeSpaceForImageAndRecords", .bytes = MiB, .spare = 0},
    {.name = "FreeSpaceShortOfTheLargerSectors", .mutate = 512, .t = 528, .bytes = 2048 * 512, .spare = -1},
    {.name = "FreeSpaceForImageAndExtra", .mutate = 520, .bytes = 2048 * 520, .spare = 0},
    {.name = "FreeSpaceShortOfTheExtra", .mutate = 520, .bytes = 2048 * 520, .spare = -1},
    {.name = "PrepareErrorAnsweredYes", .bytes = 1000, .write = Write::PrepareFails},
    // A source that cannot be opened is not imaged, and the other job goes on.
    {.name = "SourceGone", .bytes = kBlock, .others = kBeside, .gone = true},
    {.name = "MutateSourceGone", .mutate = 520, .bytes = kBlock, .others = kBeside, .gone = true},
    // Stop or Exit in a chosen step.
    {.name = "StopStraightMainPass",
     .bytes = 20480 * 512,
     .end = End::Stop,
     .step = 2,
     .hashes = kAll,
     .shutdown = true},
    {.name = "StopStraightFinishingPass", .bytes = 261 * 512, .end = End::Stop, .step = 3},
    {.name = "StopMutateFinishingPass", .mutate = 520, .bytes = 130 * 520, .end = End::Stop, .step = 3},
    {.name = "StopDataLast", .mutate = 520, .layout = kLast, .bytes = 6 * kStep520, .end = End::Stop, .step = 3},
    {.name = "StopGroups", .mutate = 520, .layout = kGroups, .bytes = 6 * kStep520, .end = End::Stop, .step = 2},
    {.name = "ExitStraight", .bytes = 10 * kStep, .end = End::Exit, .step = 3},
    {.name = "ExitMutate", .mutate = 512, .bytes = 10 * kStep512, .end = End::Exit, .step = 3, .shutdown = true},
    {.name = "MutateStopAnsweredNo",
     .mutate = 520,
     .bytes = 3 * kBlock,
     .end = End::StopAnsweredNo,
     .step = 1,
     .shutdown = true},
    // Read errors end the job at the first unreadable byte, whole or short.
    {.name = "StraightReadErrorInsideFirstBlock", .bytes = 40 * kBlock, .bad = {unreadable(12288)}},
    {.name = "StraightShortReadMidBlock",
     .bytes = 40 * kBlock,
     .bad = {unreadable(3158016, 512, false)},
     .others = kBeside},
    {.name = "StraightReadErrorInsideABlock", .bytes = 10 * kBlock, .bad = {unreadable(3 * kBlock + 1000, 1)}},
    {.name = "StraightReadErrorAtByteZero", .bytes = 10 * kBlock, .bad = {unreadable(0)}},
    {.name = "StraightReadErrorOffASector", .bytes = 80 * kBlock + 1000, .bad = {unreadable(300000)}, .hashes = kAll},
    {.name = "MutateShortReadMidBlock", .mutate = 512, .bytes = 40 * kBlock, .bad = {unreadable(200000, 512, false)}},
    {.name = "MutateReadErrorAtABlockStart",
     .mutate = 512,
     .bytes = 40 * kBlock,
     .bad = {unreadable(2 * 65536)},
     .others = kBeside},
    {.name = "Mutate520ReadErrorMidBlock", .mutate = 520, .bytes = 40 * kBlock, .bad = {unreadable(520 * 300 + 100)}},
    // A read that fails inside a sector and gives in at the re-read: the
    // sector is put together from the bytes before the failure and the
    // re-read of the rest.
    {.name = "Mutate520ShortReadGivesInAtTheReRead",
     .mutate = 520,
     .bytes = 40 * kBlock,
     .bad = {unreadable(520 * 300 + 100, 512, false, 1)}},
    {.name = "StraightShortReadGivesInAtTheReRead", .bytes = 40 * kBlock, .bad = {unreadable(300000, 512, false, 1)}},
    {.name = "ReadErrorGroups",
     .mutate = 520,
     .layout = kGroups,
     .bytes = 6 * kStep520,
     .bad = {unreadable(520 * 300, 520)}},
    {.name = "ShortReadDataLast",
     .mutate = 520,
     .layout = kLast,
     .bytes = 6 * kStep520,
     .bad = {unreadable(520 * 200 + 100, 420, false)}},
    {.name = "PassThroughMediumError",
     .from = From::Scsi,
     .mutate = 520,
     .bytes = 600 * 520,
     .bad = {unreadable(300 * 520, 520)}},
    // Write faults: the image ends at the first failed write, even if later ones succeed.
    {.name = "StraightTargetFull",
     .bytes = 40 * kBlock,
     .write = Write::Full,
     .limit = 2 * kBlock + 100,
     .others = kBeside},
    {.name = "MutateTargetFull",
     .mutate = 520,
     .bytes = 40 * kBlock,
     .write = Write::Full,
     .limit = 65536 + 100,
     .others = kBeside},
    {.name = "StraightTargetFullOnce", .bytes = 40 * kBlock, .write = Write::FullOnce, .limit = kBlock + 1000},
    {.name = "MutateTargetFullOnce",
     .mutate = 512,
     .bytes = 40 * kBlock,
     .write = Write::FullOnce,
     .limit = kBlock + 1000},
    {.name = "StraightFailedSync", .bytes = 40 * kBlock, .write = Write::FailedSync, .others = kBeside},
    {.name = "MutateFailedSync", .mutate = 512, .bytes = 40 * kBlock, .write = Write::FailedSync},
    // An image pre-sized to its source and cut back to what was copied: a
    // cut that fails leaves it longer, and the job must not pass for read
    // to a point.
    {.name = "FailedCut", .bytes = 40 * kBlock, .bad = {unreadable(4 * kBlock)}, .write = Write::FailedCut},
    // A sector-mutate job whose source is empty copies nothing, and says so.
    {.name = "MutateEmptySource", .mutate = 520, .bytes = 0},
    {.name = "MutateEmptySourceWithForceRead", .mutate = 520, .bytes = 0, .forceRead = true},
    // Read back after imaging; a job that ends short of its source is not.
    {.name = "VerifyUnchanged", .bytes = 3 * kBlock + 10, .verify = true, .others = kBeside},
    {.name = "VerifyAlteredOnDisk", .bytes = 3 * kBlock + 10, .write = Write::AlteredBeforeVerify, .verify = true},
    {.name = "VerifyMutate", .mutate = 520, .bytes = 3 * kBlock + 10, .verify = true},
    {.name = "VerifyNoHashChosen", .bytes = 3 * kBlock + 10, .hashes = {}, .verify = true},
    {.name = "VerifyNotAfterAReadError", .bytes = 3 * kBlock, .bad = {unreadable(kBlock)}, .verify = true},
    // Going past read errors: every readable byte, zeros for the rest, and a map.
    {.name = "GoPastOneBadSector",
     .bytes = 4 * MiB,
     .bad = {unreadable(MiB + 3584, 512, true, 0)},
     .goPast = true,
     .others = kBeside},
    {.name = "GoPastBadArea", .bytes = 4 * MiB, .bad = {unreadable(MiB, 40 * KiB, true, 0)}, .goPast = true},
    {.name = "GoPastSectorZero", .bytes = 4 * MiB, .bad = {unreadable(0, 512, true, 0)}, .goPast = true},
    {.name = "GoPastPartialLastSector",
     .bytes = 4 * MiB + 100,
     .bad = {unreadable(4 * MiB, 100, true, 0)},
     .goPast = true},
    {.name = "GoPastShortReadIntoTwoSectors",
     .bytes = 4 * MiB,
     .bad = {unreadable(MiB + 100, 512, false, 0)},
     .goPast = true},
    {.name = "GoPastWholeSource", .bytes = 64 * KiB, .bad = {unreadable(0, 64 * KiB, true, 0)}, .goPast = true},
    {.name = "GoPastFlakyReadsInTrim", .bytes = 4 * MiB, .bad = {unreadable(2 * MiB, 512, true, 1)}, .goPast = true},
    {.name = "GoPastFlakyReadsInRetry", .bytes = 4 * MiB, .bad = {unreadable(2 * MiB)}, .goPast = true, .retries = 1},
    {.name = "GoPastFlakyOutlastsThreeRetries",
     .bytes = 4 * MiB,
     .bad = {unreadable(2 * MiB, 512, true, 5)},
     .goPast = true,
     .retries = 3},
    {.name = "GoPastMutate520OneBadSector",
     .mutate = 520,
     .bytes = 520 * 8000,
     .bad = {unreadable(520 * 3000, 520, true, 0)},
     .goPast = true,
     .others = kBeside},
    {.name = "GoPastMutate520AreaAcrossGroups",
     .mutate = 520,
     .layout = kGroups,
     .bytes = 520 * 8000,
     .bad = {unreadable(520 * 803, 520 * 30, true, 0)},
     .goPast = true},
    {.name = "GoPastMutate520DataLastLastSector",
     .mutate = 520,
     .layout = kLast,
     .bytes = 520 * 8000,
     .bad = {unreadable(520 * 7999, 520, true, 0)},
     .goPast = true},
    {.name = "GoPastMutate512Flaky",
     .mutate = 512,
     .bytes = 4 * MiB,
     .bad = {unreadable(3 * MiB, 512, true, 1)},
     .goPast = true},
    resumed("ResumeStraightStoppedInTheSweep", 0, kFirst, Resume::AfterStop, 4),
    resumed("ResumeStraightStoppedInTrimming", 0, kFirst, Resume::AfterStop, 180, '*'),
    resumed("ResumeStraightAfterExit", 0, kFirst, Resume::AfterExit, 5),
    resumed("ResumeStraightKilled", 0, kFirst, Resume::AfterKill, 6),
    resumed("ResumeStraightAfterAReadError", 0, kFirst, Resume::AfterReadError),
    resumed("ResumeMutate520StoppedInTheSweep", 520, kFirst, Resume::AfterStop, 4),
    resumed("ResumeMutate520ExitInTrimming", 520, kLast, Resume::AfterExit, 180, '*'),
    resumed("ResumeMutate520GroupsKilled", 520, kGroups, Resume::AfterKill, 6),
    resumed("ResumeMutate520AfterAReadError", 520, kFirst, Resume::AfterReadError),
    // The read that failed brought the start of a sector: the map says that
    // sector is not read, as the image does not hold it.
    shortFirst(resumed("ResumeMutate520AfterAShortReadInASector", 520, kFirst, Resume::AfterReadError)),
    shortFirst(resumed("ResumeStraightAfterAShortReadInASector", 0, kFirst, Resume::AfterReadError)),
    // Sectors with protection information.
    pi("PiBadGuardsAndTagsAcrossBlocks",
       kinds({{100, 'G'}, {1, 'B'}, {50, 'G'}, {1, 'R'}, {100, 'G'}, {1, 'X'}, {10, 'E'}, {5, 'F'}, {40, 'G'}}),
       {" PI: 3 bad", "3", {"151", "252"}, false, "checked"}),
    pi("PiDriveOfType1Verified", kTwoBadTags, {" PI: 2 bad", "2", {"20", "120"}, false, "checked"}, 1, true),
    pi("PiNoneSaysNothing", kinds({{300, 'N'}}), {"", "", {}, true, ""}),
    pi("PiDriveOfType2DoesNot", kTwoBadTags, {" PI: 0 bad", "0", {}, false, "not checked"}, 2),
};
INSTANTIATE_TEST_SUITE_P(Runs, EngineRun, ::testing::ValuesIn(kRows), ByName{});
INSTANTIATE_TEST_SUITE_P(Pairs, EngineRun, ::testing::ValuesIn(everyPair()), ByName{});

// The README's table holds every pair of the five sector sizes. A step's
// pieces read whole blocks: 4 MiB straight (32 blocks); for mutate at least
// 1 MiB (16 blocks of 128 sectors of 520 bytes each).
TEST(BlockLengths, TheReadmeTableHoldsEveryPairAndStepsReadWholeBlocks) {
  EXPECT_EQ(blockTable().size(), 25u);
  EXPECT_EQ(blocksPerPiece(kBlock, false), 32u);
  EXPECT_EQ(blocksPerPiece(128 * 520, true), 16u);
}

// A job's steps take more pieces while they go quickly and fewer once they
// take long, within one and 64 pieces.
TEST(StepPieces, FollowHowLongTheLastStepTook) {
  struct Case {
    const char* name;
    std::size_t pieces;
    std::int32_t tookMs;
    std::size_t next;
  };
  const Case cases[] = {
      {"QuickDoubles", 1, 1, 2},        {"JustUnderHalfTheTargetDoubles", 8, 24, 16},
      {"NearTheTargetKeeps", 8, 25, 8}, {"TwiceTheTargetKeeps", 8, 100, 8},
      {"SlowerHalves", 8, 101, 4},      {"NeverUnderOnePiece", 1, 5000, 1},
      {"NeverOverTheMost", 64, 1, 64},  {"NoTimeMeasuredKeeps", 4, 0, 4},
      {"AWrappedTickKeeps", 4, -7, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(nextStepPieces(c.pieces, c.tookMs), c.next) << c.name;
}

}  // namespace
}  // namespace mdi::test
