// How long a job's steps are, through the run. The clock here moves a
// millisecond at every reading, so every step takes a measurable time well
// under the target.
#include "tests/engine/RunModel.h"

namespace mdi::test {
namespace {

constexpr std::uint64_t kPiece = kStepBytes;

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

}  // namespace
}  // namespace mdi::test
