// How long a job's steps are, through the run: quick steps grow, and a
// failed read is read again sector by sector only to the end of the piece
// it failed in. The clock here moves a millisecond at every reading, so
// every step takes a measurable time well under the target.
#include "tests/engine/RunModel.h"

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

}  // namespace
}  // namespace mdi::test
