// Sector-mutate runs end to end on generated images.
#include "engine/MutateSizes.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

// Sector k of a generated image: every byte encodes (k, offset) so a wrong
// sector or offset in the output shows.
std::vector<std::byte> sectorImage(std::size_t sectors, std::size_t sectorSize, unsigned seed = 0) {
  std::vector<std::byte> v(sectors * sectorSize);
  for (std::size_t k = 0; k < sectors; ++k)
    for (std::size_t o = 0; o < sectorSize; ++o)
      v[k * sectorSize + o] = static_cast<std::byte>((k * 131 + o * 7 + seed) & 0xFF);
  return v;
}
// The image a sound conversion gives, walked sector by sector: each whole
// source sector becomes its first min(s, t) bytes, zero-filled up to t; a
// trailing partial sector of r bytes gives its first min(t, r) bytes.
std::vector<std::byte> soundImage(const std::vector<std::byte>& src, std::size_t s, std::size_t t) {
  std::vector<std::byte> out;
  for (std::size_t p = 0; p < src.size(); p += s) {
    const std::size_t r = std::min(s, src.size() - p);
    const auto from = src.begin() + static_cast<long>(p);
    out.insert(out.end(), from, from + static_cast<long>(std::min(r, t)));
    if (r == s && t > s) out.insert(out.end(), t - s, std::byte{0});
  }
  return out;
}

// Main-pass lengths of every pair: whole source sectors in, the same number
// of target sectors out.
struct PairLengths { int s, t, read, write; };
void PrintTo(const PairLengths& p, std::ostream* os) { *os << p.s << " in, " << p.t << " out"; }
constexpr PairLengths kPairLengths[] = {
    {512, 512, 65536, 65536},   {512, 520, 64512, 65520},   {512, 522, 64000, 65250},
    {512, 524, 64000, 65500},   {512, 528, 63488, 65472},   {520, 512, 66560, 65536},
    {520, 520, 65536, 65536},   {520, 522, 65000, 65250},   {520, 524, 65000, 65500},
    {520, 528, 64480, 65472},   {522, 512, 133632, 131072}, {522, 520, 135720, 135200},
    {522, 522, 136242, 136242}, {522, 524, 136764, 137288}, {522, 528, 137808, 139392},
    {524, 512, 67072, 65536},   {524, 520, 66024, 65520},   {524, 522, 65500, 65250},
    {524, 524, 65536, 65536},   {524, 528, 64976, 65472},   {528, 512, 67584, 65536},
    {528, 520, 66528, 65520},   {528, 522, 66000, 65250},   {528, 524, 66000, 65500},
    {528, 528, 65536, 65536}};

TEST(MutateSizesTable, WholeSourceSectorsForEveryPair) {
  for (const PairLengths& p : kPairLengths) {
    const auto m = computeMutateSizes(p.s, p.t);
    ASSERT_TRUE(m) << p.s << " -> " << p.t;
    EXPECT_EQ(m->readSize, p.read) << p.s << " -> " << p.t;
    EXPECT_EQ(m->writeSize, p.write) << p.s << " -> " << p.t;
  }
  // The divisors the block lengths start from.
  const int t[5] = {512, 520, 522, 524, 528};
  const std::int64_t divisors[5] = {40000, 41260, 41578, 41897, 42539};
  for (int j = 0; j < 5; ++j) EXPECT_EQ(computeMutateSizes(512, t[j])->blockDivisor.raw(), divisors[j]);
  EXPECT_EQ(computeMutateSizes(522, 528)->blockDivisor.raw(), 20000);
  EXPECT_FALSE(computeMutateSizes(65536, 1));  // divisor rounds to 0
  EXPECT_FALSE(computeMutateSizes(0, 512));
}

class MutateRun : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    ui.setChecked(Ctl::Check2, true);
  }
};

class MutateEveryPair : public MutateRun, public ::testing::WithParamInterface<PairLengths> {};

TEST_P(MutateEveryPair, ImageIsTheSoundConversionOfEverySector) {
  const auto [s, t, read, write] = GetParam();
  // More than three blocks, then a partial sector.
  const std::size_t sectors = 3 * 128 + 41;
  auto img = sectorImage(sectors, static_cast<std::size_t>(s));
  img.resize(img.size() + static_cast<std::size_t>(s) / 3, std::byte{0xA5});
  addFileJob(src("src.img", img), -1, std::to_string(s), std::to_string(t));
  std::vector<std::uint64_t> sizes;
  pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
  controller.RunClicked();
  const auto out = readFile(output(1));
  const auto want = soundImage(img, static_cast<std::size_t>(s), static_cast<std::size_t>(t));
  ASSERT_EQ(out.size(), sectors * static_cast<std::size_t>(t) + std::min<std::size_t>(t, s / 3));
  EXPECT_TRUE(out == want) << "first difference at byte "
                           << (std::mismatch(out.begin(), out.end(), want.begin()).first - out.begin());
  ASSERT_GE(sizes.size(), 2u);
  EXPECT_EQ(sizes[0], static_cast<std::uint64_t>(write)) << "one whole block written per cycle";
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(msg.count("Error"), 0);
}
INSTANTIATE_TEST_SUITE_P(AllPairs, MutateEveryPair, ::testing::ValuesIn(kPairLengths), [](const auto& info) {
  return std::to_string(info.param.s) + "_to_" + std::to_string(info.param.t);
});

TEST_F(MutateRun, FiveTwentyReadsAndWritesPerCycle) {
  addFileJob(src("a.img", sectorImage(128 * 3, 520)), -1, "520", "512");
  std::vector<std::uint64_t> sizes;
  pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
  controller.RunClicked();
  ASSERT_GE(sizes.size(), 3u);
  EXPECT_EQ(sizes[0], 65536u);
  EXPECT_EQ(sizes[1], 131072u);
  EXPECT_EQ(sizes[2], 196608u);
}

TEST_F(MutateRun, FiveTwentyTwoBlocks) {
  addFileJob(src("a.img", sectorImage(256 * 2, 522)), -1, "522", "512");
  std::vector<std::uint64_t> sizes;
  pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
  controller.RunClicked();
  EXPECT_EQ(sizes[0], 131072u);
  EXPECT_EQ(fs::file_size(output(1)), 2u * 131072u);
}

TEST_F(MutateRun, HundredThousandByteFileAtEqualSizesIsAnExactCopy) {
  const auto data = patternBytes(100000, 3);
  addFileJob(src("a.img", data));
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), data);
  EXPECT_EQ(status(1), "Done.");
}

TEST_F(MutateRun, SeveralPairsSideBySide) {
  const auto a = sectorImage(1000, 520, 1);
  const auto b = sectorImage(300, 528, 2);
  const auto c = patternBytes(70000, 3);
  addFileJob(src("a.img", a), -1, "520", "512");
  addFileJob(src("b.img", b), -1, "528", "512");
  addFileJob(src("c.img", c), -1, "512", "512");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), soundImage(a, 520, 512));
  EXPECT_EQ(readFile(output(2)), soundImage(b, 528, 512));
  EXPECT_EQ(readFile(output(3)), c);
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"Creating images", "Finishi", "Closing files..",
                                                         "Process Complete"}));
}

TEST_F(MutateRun, TrailingPartialSectorComesOutWhole) {
  auto img = sectorImage(10, 520);
  img.resize(img.size() + 480, std::byte{0x5A});
  addFileJob(src("a.img", img), -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), soundImage(img, 520, 512));
  EXPECT_EQ(fs::file_size(output(1)), 10u * 512 + 480);
}

TEST_F(MutateRun, LargerTargetSectorIsZeroFilledNeverTakenFromTheNext) {
  const auto img = patternBytes(512 * 2, 4);
  addFileJob(src("a.img", img), -1, "512", "520");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), soundImage(img, 512, 520));
  EXPECT_EQ(fs::file_size(output(1)), 1040u);
}

TEST_F(MutateRun, EmptySourceEndsAloneAndTheOthersComplete) {
  const auto a = sectorImage(600, 520);
  addFileJob(src("a.img", a), -1, "520", "512");
  addFileJob(src("empty.img", {}), -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), soundImage(a, 520, 512));
  ASSERT_EQ(msg.count("Error"), 1);
  EXPECT_EQ(msg.shown[0].text,
            "No data was copied, there may be a problem with sector sizing. Try again with Force read option set (if available)");
  EXPECT_EQ(msg.shown[0].icon, MsgIcon::Information);
  // The message comes before the files are closed.
  const auto closing = std::find(ui.statusHistory.begin(), ui.statusHistory.end(), "Closing files..");
  EXPECT_NE(closing, ui.statusHistory.end());
}

TEST_F(MutateRun, ForceReadChangesOnlyTheWording) {
  ui.setChecked(Ctl::Check4, true);
  addFileJob((dir / "missing.img").string(), 1000, "520", "512");
  controller.RunClicked();
  ASSERT_EQ(msg.count("Error"), 1);
  EXPECT_EQ(msg.shown[0].text, "There may be a problem with the drive as data could not be copied.");
  EXPECT_EQ(status(1), "Read Error ... at byte 0");
}

TEST_F(MutateRun, DeclinedOverwriteReportsNoDataThenCompletes) {
  addFileJob(src("a.img", sectorImage(10, 520)), -1, "520", "512");
  writeFile(output(1), patternBytes(10, 9));
  msg.answer("File exists", MsgAnswer::No);
  controller.RunClicked();
  EXPECT_EQ(msg.titles(), (std::vector<std::string>{"File exists", "Error"}));
  EXPECT_EQ(readFile(output(1)), patternBytes(10, 9));
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"Closing files..", "Process Complete"}));
  EXPECT_TRUE(ui.closeAllowed);
}

TEST_F(MutateRun, StopInMainPassSkipsFinishingButShowsClosing) {
  addFileJob(src("a.img", sectorImage(128 * 10, 520)), -1, "520", "512");
  pressStopAt(2);
  controller.RunClicked();
  EXPECT_EQ(pump.calls, 2);
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"Creating image", "Closing files..", "Process Complete",
                                                         "Process stopped by user"}));
  EXPECT_EQ(fs::file_size(output(1)), 2u * 65536);
}

TEST_F(MutateRun, StopInFinishingPass) {
  addFileJob(src("a.img", sectorImage(130, 520)), -1, "520", "512");
  // Main pass: block 1 (128 sectors), block 2 (2 sectors), cycle 3 reads nothing.
  pressStopAt(4);
  controller.RunClicked();
  EXPECT_EQ(pump.calls, 4);
  EXPECT_EQ(ui.statusHistory.back(), "Process stopped by user");
  EXPECT_NE(std::find(ui.statusHistory.begin(), ui.statusHistory.end(), "Finishi"), ui.statusHistory.end());
}

TEST_F(MutateRun, LargestIndexIsTheFirstOfEqualSizes) {
  addFileJob(src("a.img", patternBytes(100, 1)), 100, "512", "512");
  addFileJob(src("b.img", patternBytes(300, 2)), 300, "520", "512");
  addFileJob(src("c.img", patternBytes(300, 3)), 300, "512", "512");
  controller.RunClicked();
  // 2 x Int(300/65536 + 1) x ReadSizes(1) = 2 x 1 x 66560.
  EXPECT_EQ(form.run.TotalBytes, 133120);
}

TEST_F(MutateRun, FullTargetIsAWriteErrorOthersComplete) {
  const auto a = sectorImage(128 * 6, 520);
  const auto b = sectorImage(128 * 2, 520, 5);
  addFileJob(src("a.img", a), -1, "520", "512");
  addFileJob(src("b.img", b), -1, "520", "512");
  files.writeLimit[output(1)] = 65536 + 100;
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Done.");
  EXPECT_EQ(readFile(output(2)), soundImage(b, 520, 512));
}

struct BadSectors { const char* in; const char* out; };
class MutateRefusal : public MutateRun, public ::testing::WithParamInterface<BadSectors> {};
TEST_P(MutateRefusal, SectorSizesOutsideTheRangeAreRefused) {
  addFileJob(src("a.img", patternBytes(1000, 1)), -1, GetParam().in, GetParam().out);
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_NE(msg.shown[0].text.find("must be whole numbers between 1 and 65536"), std::string::npos);
  EXPECT_TRUE(files.creates.empty());
  EXPECT_FALSE(form.running);
}
INSTANTIATE_TEST_SUITE_P(Cases, MutateRefusal, ::testing::Values(
    BadSectors{"0", "512"}, BadSectors{"520", "0"}, BadSectors{"abc", "512"}, BadSectors{"520.5", "512"},
    BadSectors{"65537", "512"}, BadSectors{"-520", "512"}, BadSectors{"", "512"}));

}  // namespace
}  // namespace mdi::test
