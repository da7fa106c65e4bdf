// How long a job's steps are, through the run: quick steps grow, and a
// failed read is read again sector by sector only to the end of the piece
// it failed in. The clock here moves a millisecond at every reading, so
// every step takes a measurable time well under the target.
#include "tests/engine/RunModel.h"
#include "tests/layouts/LayoutOracle.h"

namespace mdi::test {
namespace {

constexpr std::uint64_t kPiece = kStraightPieceBytes;

class StepLength : public RunFixture {
 protected:
  StepLength() { clock.advance = 1; }
};

// Steps of one, two and four pieces copy seven; a step of eight finds the
// end; the finishing pass has its cycle. In steps of one piece each, nine.
TEST_F(StepLength, QuickStepsGrowAndTheImageIsWhole) {
  const Bytes data = patternBytes(7 * kPiece, 4);
  addFileJob(src("quick.img", data));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(pump.calls, 5);
  EXPECT_TRUE(readFile(output(1)) == data);
}

// The second step holds two pieces, and the first of them fails once as a
// whole, as a disk fails a request covering a weak sector: that piece is
// read again sector by sector, and the job goes on in steps after it.
TEST_F(StepLength, AFailedReadIsReadAgainOnlyToTheEndOfItsPiece) {
  const Bytes data = patternBytes(4 * kPiece + 1000, 4);
  const std::string path = src("flaky.img", data);
  addFileJob(path);
  const std::uint64_t failedPieceEnd = 2 * kPiece;
  files.badRanges[path] = {unreadable(failedPieceEnd - kPiece / 2, 512, true, 1)};
  const auto reads = std::make_shared<ReadLog>();
  files.readLogs[path] = reads;
  controller.RunClicked();
  EXPECT_EQ(status(1), "Done.");
  EXPECT_TRUE(readFile(output(1)) == data);
  std::uint64_t sectorReads = 0, furthest = 0;
  for (const ReadSpan& r : *reads) {
    if (r.length > 512 || r.pos >= data.size()) continue;  // not the finishing pass's
    ++sectorReads;
    furthest = std::max(furthest, r.pos + r.length);
  }
  EXPECT_EQ(sectorReads, kPiece / 512);
  EXPECT_EQ(furthest, failedPieceEnd);
}

// Sector mutate, 520-byte sectors: the second step holds two pieces, and
// the target takes the .extra only into the first of them. The job fails
// there, keeping what it converted up to that piece, and reads no further.
TEST_F(StepLength, AnExtraCutShortEndsTheJobInThePieceItWasCutIn) {
  constexpr std::size_t kSector = 520;
  const std::size_t piece = blocksPerPiece(128 * kSector, true) * 128 * kSector;
  const std::size_t sectorsPerPiece = piece / kSector;
  const Bytes data = patternBytes(4 * piece + 100 * kSector, 4);
  const Split whole = layoutOracle(SectorLayout::DataFirst, kSector, 512, data);
  const std::size_t extraPerPiece = whole.extra.size() / (data.size() / kSector) * sectorsPerPiece;
  const std::string path = src("array.img", data);
  setMutate(true);
  addFileJob(path, -1, "520", "512");
  files.writeLimit[extraOf(1)] = extraPerPiece + extraPerPiece / 2;  // halfway into the step's first piece
  const auto reads = std::make_shared<ReadLog>();
  files.readLogs[path] = reads;
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  const Bytes image = readFile(output(1));
  const Bytes extra = readFile(extraOf(1));
  const std::size_t kept = 2 * sectorsPerPiece * 512;
  EXPECT_EQ(image.size(), kept);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), whole.image.begin()));
  EXPECT_EQ(extra.size(), extraPerPiece + extraPerPiece / 2);
  EXPECT_TRUE(std::equal(extra.begin(), extra.end(), whole.extra.begin()));
  for (const ReadSpan& r : *reads) EXPECT_LT(r.pos, 2 * piece) << "read at " << r.pos;
}

}  // namespace
}  // namespace mdi::test
