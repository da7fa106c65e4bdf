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
std::vector<std::byte> firstBytesOfSectors(const std::vector<std::byte>& img, std::size_t s, std::size_t t) {
  std::vector<std::byte> out;
  for (std::size_t p = 0; p < img.size(); p += s)
    out.insert(out.end(), img.begin() + static_cast<long>(p), img.begin() + static_cast<long>(std::min(p + t, img.size())));
  return out;
}

TEST(MutateSizesTable, ReadAndWriteLengthsOfEveryPair) {
  const int t[5] = {512, 520, 522, 524, 528};
  const int reads[5][5] = {{65536, 64527, 64280, 64035, 63550},
                           {66560, 65536, 65285, 65036, 64543},
                           {133632, 135720, 136242, 136764, 137808},
                           {67072, 66040, 65787, 65536, 65040},
                           {67584, 66544, 66289, 66036, 65536}};
  const int writes[5][5] = {{65536, 65536, 65536, 65536, 65536},
                            {65536, 65536, 65536, 65536, 65536},
                            {131072, 135200, 136242, 137288, 139392},
                            {65536, 65536, 65536, 65536, 65536},
                            {65536, 65536, 65536, 65536, 65536}};
  const std::int64_t divisors[5] = {40000, 41260, 41578, 41897, 42539};
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 5; ++j) {
      const auto m = computeMutateSizes(t[i], t[j]);
      ASSERT_TRUE(m);
      EXPECT_EQ(m->readSize, reads[i][j]) << t[i] << " -> " << t[j];
      EXPECT_EQ(m->writeSize, writes[i][j]) << t[i] << " -> " << t[j];
      if (t[i] != 522) {
        EXPECT_EQ(m->blockDivisor.raw(), divisors[j]);
      }
    }
  }
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

class MutateToFiveTwelve : public MutateRun, public ::testing::WithParamInterface<int> {};

TEST_P(MutateToFiveTwelve, EveryOutputSectorIsTheStartOfASourceSector) {
  const int s = GetParam();
  const std::size_t sectors = 3000 + 37;  // not a whole number of blocks
  const auto img = sectorImage(sectors, static_cast<std::size_t>(s));
  addFileJob(src("src.img", img), -1, std::to_string(s), "512");
  controller.RunClicked();
  const auto out = readFile(output(1));
  ASSERT_EQ(out.size(), sectors * 512) << "n source sectors give exactly n target sectors";
  EXPECT_EQ(out, firstBytesOfSectors(img, static_cast<std::size_t>(s), 512));
  EXPECT_EQ(status(1), "Done.");
  EXPECT_EQ(msg.count("Error"), 0);
}
INSTANTIATE_TEST_SUITE_P(Sizes, MutateToFiveTwelve, ::testing::Values(512, 520, 522, 524, 528));

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
  EXPECT_EQ(readFile(output(1)), firstBytesOfSectors(a, 520, 512));
  EXPECT_EQ(readFile(output(2)), firstBytesOfSectors(b, 528, 512));
  EXPECT_EQ(readFile(output(3)), c);
  EXPECT_EQ(ui.statusHistory, (std::vector<std::string>{"Creating images", "Finishi", "Closing files..",
                                                         "Process Complete"}));
}

TEST_F(MutateRun, TrailingPartialSectorComesOutWhole) {
  auto img = sectorImage(10, 520);
  img.resize(img.size() + 480, std::byte{0x5A});
  addFileJob(src("a.img", img), -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), firstBytesOfSectors(img, 520, 512));
  EXPECT_EQ(fs::file_size(output(1)), 10u * 512 + 480);
}

TEST_F(MutateRun, LargerTargetSectorNeverWritesPastTheConvertedData) {
  const auto img = patternBytes(512 * 2, 4);
  addFileJob(src("a.img", img), -1, "512", "520");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), firstBytesOfSectors(img, 512, 520));
  EXPECT_EQ(fs::file_size(output(1)), 1032u);
}

TEST_F(MutateRun, EmptySourceEndsAloneAndTheOthersComplete) {
  const auto a = sectorImage(600, 520);
  addFileJob(src("a.img", a), -1, "520", "512");
  addFileJob(src("empty.img", {}), -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(readFile(output(1)), firstBytesOfSectors(a, 520, 512));
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
  EXPECT_EQ(status(1), "Read Error ...");
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
  EXPECT_EQ(readFile(output(2)), firstBytesOfSectors(b, 520, 512));
}

TEST_F(MutateRun, MediumErrorKeepsEverythingBefore) {
  const auto img = sectorImage(128 * 4, 520);
  const auto path = src("a.img", img);
  const std::uint64_t badSector = 300;
  files.badRanges[path] = {{badSector * 520, badSector * 520 + 520, EIO}};
  addFileJob(path, -1, "520", "512");
  controller.RunClicked();
  EXPECT_EQ(status(1), "Read Error ...");
  const auto out = readFile(output(1));
  const auto want = firstBytesOfSectors(img, 520, 512);
  ASSERT_GE(out.size(), badSector * 512);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(badSector * 512), want.begin()));
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
