// Sector-mutate runs end to end: the block lengths of every pair of sector
// sizes, and the image each pair gives. (Sizes giving no block are refused
// before the run: RefusalTest.)
#include "run/StepSize.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

// Main-pass lengths of every pair: whole source sectors in, the same number
// of target sectors out.
struct PairLengths {
  int s, t, read, write;
};
void PrintTo(const PairLengths& p, std::ostream* os) { *os << p.s << " to " << p.t; }
constexpr PairLengths kPairLengths[] = {
    {512, 512, 65536, 65536},   {512, 520, 64512, 65520},   {512, 522, 64000, 65250},   {512, 524, 64000, 65500},
    {512, 528, 63488, 65472},   {520, 512, 66560, 65536},   {520, 520, 65536, 65536},   {520, 522, 65000, 65250},
    {520, 524, 65000, 65500},   {520, 528, 64480, 65472},   {522, 512, 133632, 131072}, {522, 520, 135720, 135200},
    {522, 522, 136242, 136242}, {522, 524, 136764, 137288}, {522, 528, 137808, 139392}, {524, 512, 67072, 65536},
    {524, 520, 66024, 65520},   {524, 522, 65500, 65250},   {524, 524, 65536, 65536},   {524, 528, 64976, 65472},
    {528, 512, 67584, 65536},   {528, 520, 66528, 65520},   {528, 522, 66000, 65250},   {528, 524, 66000, 65500},
    {528, 528, 65536, 65536}};

class MutateEveryPair : public RunFixture, public ::testing::WithParamInterface<PairLengths> {};

// Every step of the main pass writes whole blocks of target sectors (of the
// lengths in the table: a wrong read or write length shows in the image's
// size at some step); the image is the sound conversion of every sector, a
// partial last one too.
TEST_P(MutateEveryPair, EachStepWritesWholeBlocksAndTheImageIsTheSoundConversion) {
  const auto [s, t, read, write] = GetParam();
  setMutate(true);
  // More than three steps, then a partial sector.
  const std::size_t blocks = blocksPerStep(static_cast<std::size_t>(read), true);
  const std::size_t sectors = 3 * 128 * blocks + 41;
  const auto img = patternBytes(sectors * static_cast<std::size_t>(s) + static_cast<std::size_t>(s) / 3, 1);
  addFileJob(src("src.img", img), -1, std::to_string(s), std::to_string(t));
  std::vector<std::uint64_t> sizes;
  pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
  controller.RunClicked();
  const auto out = readFile(output(1));
  const auto want = imageOf(img, static_cast<std::size_t>(s), static_cast<std::size_t>(t));
  ASSERT_EQ(out.size(), sectors * static_cast<std::size_t>(t) + std::min<std::size_t>(t, s / 3));
  EXPECT_TRUE(out == want) << firstDifference(out, want);
  ASSERT_GE(sizes.size(), 2u);
  for (std::uint64_t k = 0; k < sizes.size(); ++k)
    EXPECT_EQ(sizes[k], std::min<std::uint64_t>((k + 1) * blocks * std::uint64_t(write), out.size()))
        << "step " << k + 1;
  EXPECT_EQ(status(1), "Done.");
  EXPECT_TRUE(msg.shown.empty());
}
INSTANTIATE_TEST_SUITE_P(AllPairs, MutateEveryPair, ::testing::ValuesIn(kPairLengths), [](const auto& info) {
  return std::to_string(info.param.s) + "_to_" + std::to_string(info.param.t);
});

}  // namespace
}  // namespace mdi::test
