#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "convert/ProtectionInfo.h"
#include "tests/CaseName.h"
#include "tests/layouts/PiSectors.h"

namespace mdi {
namespace {

using Bytes = std::vector<std::byte>;

// ---- counting ----------------------------------------------------------

// Guard matches, guard mismatches, escaped, blank, reference-tag mismatches, bad sectors.
using Counts = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t>;
struct PiCase {
  const char* name;
  std::string kinds;
  std::uint64_t firstLba;
  RefTagRule rule;
  Counts counts;
  std::vector<std::uint64_t> badLbas;
};

class PiCounting : public ::testing::TestWithParam<PiCase> {};

TEST_P(PiCounting, CountsEachKindOfSector) {
  const PiCase& c = GetParam();
  PiChecker pi(c.rule);
  Bytes block = sectors(c.kinds, c.firstLba);
  block.resize(block.size() + 300, std::byte{7});  // a trailing partial sector, not counted
  pi.check(block, c.firstLba);
  const PiCounts& n = pi.counts();
  EXPECT_EQ(n.sectors, c.kinds.size());
  EXPECT_EQ(Counts(n.guardMatches, n.guardMismatches, n.escaped, n.blank, n.refTagMismatches, n.badSectors), c.counts);
  EXPECT_EQ(n.firstRefTagMismatchLbas, c.badLbas);
}

constexpr RefTagRule kLba = RefTagRule::Lba;
// (Bad guards, escapes, wrong reference tags and a sector with both wrong
// are the run model's PI rows; a blank sector the record lines' test.)
INSTANTIATE_TEST_SUITE_P(
    Sectors, PiCounting,
    ::testing::Values(
        PiCase{"ZeroTupleOverDataIsAMismatch", "GzzG", 0, kLba, {2, 2, 0, 0, 2, 2}, {1, 2}},
        PiCase{"FirstEightBadLbasNamed", "RRRRRRRRRRGR", 0, kLba, {12, 0, 0, 0, 11, 11}, {0, 1, 2, 3, 4, 5, 6, 7}},
        PiCase{
            "LbaAbove32BitsComparesItsLowBits", "GGR", 0x1'0000'0010ull, kLba, {3, 0, 0, 0, 1, 1}, {0x1'0000'0012ull}}),
    ByName{});

// ---- the decision ------------------------------------------------------

struct VerdictCase {
  const char* name;
  std::string kinds;
  bool carries;
  std::string suffix;
};

class PiVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(PiVerdict, MostOfTheFirst64DecideAndOnlyThenIsAnythingSaid) {
  const VerdictCase& c = GetParam();
  PiChecker pi;
  pi.check(sectors(c.kinds, 0), 0);
  EXPECT_EQ(pi.carriesPi(), c.carries);
  EXPECT_EQ(pi.statusSuffix(), c.suffix);
}

std::string times(int n, char k) { return std::string(static_cast<std::size_t>(n), k); }

INSTANTIATE_TEST_SUITE_P(
    Samples, PiVerdict,
    ::testing::Values(
        VerdictCase{"EightBadOfTheFirst64", times(8, 'B') + times(56, 'G') + times(64, 'G'), true, " PI: 8 bad"},
        VerdictCase{"NineBadOfTheFirst64", times(9, 'B') + times(55, 'G') + times(64, 'G'), false, ""},
        VerdictCase{"BadAfterTheSampleDoNotChangeIt", times(64, 'G') + times(12, 'B'), true, " PI: 12 bad"},
        VerdictCase{"EscapesAndBlanksDoNotVote", times(40, 'E') + times(40, 'Z') + times(8, 'B') + times(56, 'G'), true,
                    " PI: 8 bad"},
        VerdictCase{"OnlyEscapedAndBlank", times(30, 'F') + times(30, 'Z'), false, ""},
        VerdictCase{"ShortJobDecidedOnWhatItHas", "GGGGGGGB", true, " PI: 1 bad"},
        VerdictCase{"ShortJobMostlyBad", "GGBB", false, ""}),
    ByName{});

TEST(PiChecker, RecordLinesOfADriveWithPi) {
  PiChecker pi;
  pi.check(sectors(times(60, 'G') + "BRRE" + "Z", 0), 0);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"pi", "yes"},
      {"pi_sectors", "65"},
      {"pi_guard_match", "63"},
      {"pi_guard_mismatch", "1"},
      {"pi_escaped", "1"},
      {"pi_blank", "1"},
      {"pi_ref_tag", "checked"},
      {"pi_ref_tag_mismatch", "2"},
      {"pi_ref_tag_bad_lba", "61"},
      {"pi_ref_tag_bad_lba", "62"},
      {"pi_bad", "3"},
  };
  EXPECT_EQ(pi.recordLines(), want);
}

// ---- the first block ---------------------------------------------------

struct FirstBlockCase {
  const char* name;
  std::string first, second;
  bool unrecognised;
};

class PiFirstBlock : public ::testing::TestWithParam<FirstBlockCase> {};

TEST_P(PiFirstBlock, SaysSoOnlyWhenNothingIsRecognisable) {
  const FirstBlockCase& c = GetParam();
  PiChecker pi;
  pi.check(sectors(c.first, 0), 0);
  pi.check(sectors(c.second, c.first.size()), c.first.size());
  const auto lines = pi.recordLines();
  const bool stated =
      !lines.empty() && lines.back() == std::pair<std::string, std::string>("first_block", kFirstBlockUnrecognisedText);
  EXPECT_EQ(stated, c.unrecognised);
  // Once the first block said "no PI", later blocks cannot say otherwise,
  // and are not checked at all: a drive without PI costs only its first
  // sectors.
  if (c.unrecognised) {
    EXPECT_FALSE(pi.carriesPi());
    EXPECT_EQ(pi.counts().sectors, c.first.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Blocks, PiFirstBlock,
                         ::testing::Values(FirstBlockCase{"NoiseThenPiLater", times(64, 'N'), times(128, 'G'), true},
                                           FirstBlockCase{"OneValidGuard", times(127, 'N') + "G", times(128, 'N'),
                                                          false},
                                           FirstBlockCase{"FormattedEscapes", times(128, 'F'), "", false},
                                           FirstBlockCase{"BlankDisk", times(128, 'Z'), "", false},
                                           FirstBlockCase{"BootSignatureInTheData", "M" + times(127, 'N'), "", false},
                                           FirstBlockCase{"GptHeaderInTheData", "NP" + times(2, 'N'), "", false},
                                           FirstBlockCase{"ZeroTuplesOverData", times(128, 'z'), "", true},
                                           FirstBlockCase{"NothingChecked", "", "", false}),
                         ByName{});

// Data first from 520 and reference tags of types 0 to 2 are the run model's
// PI rows, Data last from 520 the job conversion's; the rest only here.
TEST(PiChecker, AppliesToDataFirst520Only) {
  EXPECT_FALSE(piCheckApplies(SectorLayout::DataFirst, 528));
  EXPECT_FALSE(piCheckApplies(SectorLayout::Groups4K, 520));
  EXPECT_EQ(refTagRuleFor(3), RefTagRule::NotChecked);
}

}  // namespace
}  // namespace mdi
