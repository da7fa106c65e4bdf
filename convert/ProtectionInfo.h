#pragma once
// A job's check of T10 protection information (PI) in data-first 520-byte
// sectors. Each sector is 512 data bytes and an 8-byte tuple:
//
//   bytes 512-513  guard: CRC-16 T10-DIF of the 512 data bytes, big-endian
//   bytes 514-515  application tag
//   bytes 516-519  reference tag, big-endian (type 1: low 32 bits of the LBA)
//
// Every whole sector is sorted into exactly one of: escaped (application
// tag 0xFFFF, or all eight tuple bytes 0xFF, as a format leaves them: not
// checked), blank (data and tuple all zero: a guard match, since the CRC
// of zeros is zero, but never written with PI, so its reference tag is not
// checked), guard match, guard mismatch. A sector with a zero tuple and
// data that is not all zero is a guard mismatch. Reference tags are checked
// on the matches and mismatches when the rule says so.
//
// Whether the drive carries PI is decided on the first kPiSampleSectors
// sectors that are neither escaped nor blank: at least 7 in 8 of them
// (56 of 64) must match. Random data matches one time in 65,536, so a
// drive without PI never gets there, while one with a few damaged sectors
// among its first 64 still does. A job with fewer such sectors is decided
// on those it has; a job with none (all escaped or blank) is not said to
// carry PI. Until the drive is found to carry PI, nothing is reported; once
// a full sample says it carries none, the rest of the job is not checked
// (and counts() stops growing), so a drive without PI costs its first
// sectors' CRCs and nothing more.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "convert/SectorLayout.h"

namespace mdi {

inline constexpr std::size_t kPiSectorBytes = 520;
inline constexpr std::size_t kPiDataBytes = 512;
inline constexpr std::size_t kPiSampleSectors = 64;
inline constexpr std::size_t kPiSampleMatches = 56;  // of kPiSampleSectors: 7 in 8
inline constexpr std::size_t kPiFirstBadLbas = 8;    // reference-tag mismatches named

// The check runs for Data first with 520-byte source sectors, whatever the
// target sector size.
bool piCheckApplies(SectorLayout layout, std::int32_t s);

enum class RefTagRule {
  Lba,  // the reference tag is the low 32 bits of the sector's LBA
  NotChecked,
};
// Type 1, and a type not known (0: an image file, or a drive that does not
// report it), are checked against the LBA; type 2 tags follow the commands
// that wrote them and type 3 tags belong to the application, so neither is.
RefTagRule refTagRuleFor(int protectionType);

struct PiCounts {
  std::uint64_t sectors = 0;       // whole sectors checked
  std::uint64_t guardMatches = 0;  // blank sectors included
  std::uint64_t guardMismatches = 0;
  std::uint64_t escaped = 0;
  std::uint64_t blank = 0;
  std::uint64_t refTagMismatches = 0;
  std::vector<std::uint64_t> firstRefTagMismatchLbas;  // at most kPiFirstBadLbas, in order
  std::uint64_t badSectors = 0;                        // guard or reference tag (or both) wrong, each sector once
};

class PiChecker {
 public:
  explicit PiChecker(RefTagRule rule = RefTagRule::Lba) : m_rule(rule) {}

  // Checks the whole 520-byte sectors of `block`, the first being at LBA
  // `firstLba`. A trailing partial sector holds no whole tuple and is not
  // counted. The first call's block is the job's first block.
  void check(std::span<const std::byte> block, std::uint64_t firstLba);

  const PiCounts& counts() const { return m_counts; }
  // Whether the sample so far says the drive carries PI (see above).
  bool carriesPi() const;
  // " PI: N bad" (N = counts().badSectors) for the job's final status when
  // the drive carries PI; empty otherwise.
  std::string statusSuffix() const;
  // key/value lines for the job's record, in this order: pi (yes), pi_sectors,
  // pi_guard_match, pi_guard_mismatch, pi_escaped, pi_blank, pi_ref_tag
  // (checked / not checked), pi_ref_tag_mismatch, one pi_ref_tag_bad_lba per
  // named LBA, pi_bad; only when the drive carries PI. Then, whether or
  // not, first_block (kFirstBlockUnrecognisedText) when the first block was not
  // recognised.
  std::vector<std::pair<std::string, std::string>> recordLines() const;

 private:
  void noteFirstBlock(std::span<const std::byte> block, bool recognised);

  RefTagRule m_rule;
  PiCounts m_counts;
  std::size_t m_sampled = 0;
  std::size_t m_sampleMatches = 0;
  bool m_seenFirstBlock = false;
  // The job's first block had sectors and none of them showed a valid
  // guard, an escape, a blank sector, or data the operator would know:
  // a boot-sector signature (0x55 0xAA ending the 512 data bytes) or a GPT
  // header ("EFI PART" opening them). A hint that the layout may be wrong;
  // the record says so (first_block).
  bool m_firstBlockUnrecognised = false;
};

// The record's words for an unrecognised first block.
inline constexpr const char* kFirstBlockUnrecognisedText = "neither a valid PI guard nor anything else recognisable";

}  // namespace mdi
