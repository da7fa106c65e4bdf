#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "engine/JobConversion.h"
#include "tests/layouts/PiSectors.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::byte>;

struct JobCase {
  const char* name;
  SectorLayout layout;
  std::int32_t t;
  int protectionType;
  std::size_t blockBytes;  // main-pass block; the rest goes one 520-byte sector at a time
  bool checked;            // the job has a PI check
  std::uint64_t refMismatches;
};
void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

// 300 sectors of valid type-1 PI but for wrong reference tags at LBAs 5,
// 130 and 299, and a bad guard at LBA 200.
std::string kinds() {
  std::string k(300, 'G');
  k[5] = k[130] = k[299] = 'R';
  k[200] = 'B';
  return k;
}

// Where each source sector's bytes go, walked sector by sector.
Bytes expectedImage(const Bytes& src, SectorLayout layout, std::size_t t) {
  Bytes out;
  for (std::size_t p = 0; p < src.size(); p += 520) {
    const std::size_t from = layout == SectorLayout::DataLast && t < 520 ? 520 - t : 0;
    if (layout == SectorLayout::Groups4K) {
      const std::size_t inGroup = p % 4160;
      const std::size_t keep = inGroup + 520 <= 4096 ? 520 : (inGroup < 4096 ? 4096 - inGroup : 0);
      out.insert(out.end(), src.begin() + static_cast<std::ptrdiff_t>(p),
                 src.begin() + static_cast<std::ptrdiff_t>(p + keep));
      continue;
    }
    out.insert(out.end(), src.begin() + static_cast<std::ptrdiff_t>(p + from),
               src.begin() + static_cast<std::ptrdiff_t>(p + from + std::min<std::size_t>(t, 520)));
  }
  return out;
}

class JobConversionRun : public ::testing::TestWithParam<JobCase> {};

TEST_P(JobConversionRun, ConvertsAndChecksEveryBlockInSourceOrder) {
  const JobCase& c = GetParam();
  const Bytes src = sectors(kinds(), 0);
  JobConversion job(c.layout, 520, c.t, c.protectionType);
  Bytes image, extra;
  std::size_t at = 0;
  while (at < src.size()) {
    const std::size_t left = src.size() - at;
    const std::size_t len = left >= c.blockBytes ? c.blockBytes : std::min<std::size_t>(520, left);
    ASSERT_TRUE(job.convert(std::span(src).subspan(at, len))) << "at " << at;
    image.insert(image.end(), job.image().begin(), job.image().end());
    extra.insert(extra.end(), job.extra().begin(), job.extra().end());
    at += len;
  }
  EXPECT_EQ(job.sourceBytes(), src.size());
  EXPECT_TRUE(image == expectedImage(src, c.layout, static_cast<std::size_t>(c.t)));
  EXPECT_EQ(image.size() + extra.size(), src.size());
  EXPECT_EQ(job.hasExtra(), c.t < 520);

  ASSERT_EQ(job.pi() != nullptr, c.checked);
  if (!c.checked) return;
  const PiCounts& n = job.pi()->counts();
  EXPECT_EQ(n.sectors, 300u);
  EXPECT_EQ(n.guardMismatches, 1u);
  EXPECT_EQ(n.refTagMismatches, c.refMismatches);
  if (c.refMismatches > 0) {
    EXPECT_EQ(n.firstRefTagMismatchLbas, (std::vector<std::uint64_t>{5, 130, 299}));
  }
  EXPECT_TRUE(job.pi()->carriesPi());
  EXPECT_EQ(job.pi()->statusSuffix(), " PI: " + std::to_string(1 + c.refMismatches) + " bad");
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, JobConversionRun,
    ::testing::Values(JobCase{"DataFirst520To512InRunBlocks", SectorLayout::DataFirst, 512, 1, 128 * 520, true, 3},
                      JobCase{"DataFirstType2LeavesRefTags", SectorLayout::DataFirst, 512, 2, 128 * 520, true, 0},
                      JobCase{"DataFirstUnknownTypeChecksRefTags", SectorLayout::DataFirst, 512, 0, 128 * 520,
                              true, 3},
                      JobCase{"Copy520In64KiBBlocksAcrossSectors", SectorLayout::DataFirst, 520, 1, 65536, true, 3},
                      JobCase{"OneSectorAtATime", SectorLayout::DataFirst, 512, 1, 520, true, 3},
                      JobCase{"DataLastHasNoCheck", SectorLayout::DataLast, 512, 1, 128 * 520, false, 0},
                      JobCase{"GroupsHaveNoCheck", SectorLayout::Groups4K, 512, 1, 128 * 520, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobConversion, BlockAfterAPartialSectorIsRefused) {
  const Bytes src = sectors("GGG", 0);
  JobConversion job(SectorLayout::DataFirst, 520, 512);
  ASSERT_TRUE(job.convert(std::span(src).first(700)));
  EXPECT_FALSE(job.convert(std::span(src).subspan(700)));
  EXPECT_EQ(job.sourceBytes(), 700u);
  EXPECT_TRUE(job.image().empty());
}

TEST(JobConversion, MisfitLayoutConvertsNothing) {
  const Bytes src = sectors("GG", 0);
  JobConversion job(SectorLayout::Groups4K, 528, 512);
  EXPECT_FALSE(job.convert(src));
  EXPECT_EQ(job.sourceBytes(), 0u);
  EXPECT_EQ(job.pi(), nullptr);
}

}  // namespace
}  // namespace mdi
