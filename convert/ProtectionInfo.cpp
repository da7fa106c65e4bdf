#include "convert/ProtectionInfo.h"

#include <algorithm>
#include <cstring>

#include "convert/Crc16T10Dif.h"

namespace mdi {

namespace {

std::uint32_t be(const std::uint8_t* p, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

bool allZero(const std::byte* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::byte b) { return b == std::byte{0}; });
}

// Data an operator would recognise in a sector's 512 data bytes.
bool knownData(const std::byte* data) {
  static constexpr char kGpt[] = "EFI PART";
  return (data[510] == std::byte{0x55} && data[511] == std::byte{0xAA}) ||
         std::memcmp(data, kGpt, sizeof kGpt - 1) == 0;
}

std::string number(std::uint64_t v) { return std::to_string(v); }

}  // namespace

bool piCheckApplies(SectorLayout layout, std::int32_t s) {
  return layout == SectorLayout::DataFirst && s == static_cast<std::int32_t>(kPiSectorBytes);
}

RefTagRule refTagRuleFor(int protectionType) {
  return protectionType == 0 || protectionType == 1 ? RefTagRule::Lba : RefTagRule::NotChecked;
}

void PiChecker::check(std::span<const std::byte> block, std::uint64_t firstLba) {
  // The sample is taken and says the drive carries no PI: nothing will be
  // reported, so the rest of the job is not checked.
  if (m_sampled == kPiSampleSectors && !carriesPi()) return;
  const std::size_t whole = block.size() / kPiSectorBytes;
  bool recognised = false;
  for (std::size_t k = 0; k < whole; ++k) {
    const std::byte* sector = block.data() + k * kPiSectorBytes;
    const auto* tuple = reinterpret_cast<const std::uint8_t*>(sector + kPiDataBytes);
    ++m_counts.sectors;
    // An all-0xFF tuple has the application tag 0xFFFF too.
    if (be(tuple + 2, 2) == 0xFFFF) {
      ++m_counts.escaped;
      recognised = true;
      continue;
    }
    bool match = false;
    if (allZero(reinterpret_cast<const std::byte*>(tuple), 8)) {
      if (allZero(sector, kPiDataBytes)) {
        ++m_counts.blank;
        ++m_counts.guardMatches;
        recognised = true;
        continue;
      }
    } else {
      match = crc16T10Dif(std::span(sector, kPiDataBytes)) == be(tuple, 2);
    }
    bool bad = !match;
    if (match) {
      ++m_counts.guardMatches;
      recognised = true;
    } else {
      ++m_counts.guardMismatches;
    }
    const std::uint64_t lba = firstLba + k;
    if (m_rule == RefTagRule::Lba && be(tuple + 4, 4) != static_cast<std::uint32_t>(lba)) {
      ++m_counts.refTagMismatches;
      if (m_counts.firstRefTagMismatchLbas.size() < kPiFirstBadLbas) m_counts.firstRefTagMismatchLbas.push_back(lba);
      bad = true;
    }
    if (bad) ++m_counts.badSectors;
    if (m_sampled < kPiSampleSectors) {
      ++m_sampled;
      if (match) ++m_sampleMatches;
    }
  }
  if (!m_seenFirstBlock) noteFirstBlock(block.first(whole * kPiSectorBytes), recognised);
}

void PiChecker::noteFirstBlock(std::span<const std::byte> block, bool recognised) {
  m_seenFirstBlock = true;
  if (recognised || block.empty()) return;
  for (std::size_t p = 0; p < block.size(); p += kPiSectorBytes)
    if (knownData(block.data() + p)) return;
  m_firstBlockUnrecognised = true;
}

bool PiChecker::carriesPi() const {
  // m_sampleMatches / m_sampled >= kPiSampleMatches / kPiSampleSectors
  return m_sampled > 0 && m_sampleMatches * kPiSampleSectors >= m_sampled * kPiSampleMatches;
}

std::string PiChecker::statusSuffix() const {
  if (!carriesPi()) return {};
  return " PI: " + number(m_counts.badSectors) + " bad";
}

std::vector<std::pair<std::string, std::string>> PiChecker::recordLines() const {
  std::vector<std::pair<std::string, std::string>> lines;
  if (carriesPi()) {
    const PiCounts& c = m_counts;
    lines = {{"pi", "yes"},
             {"pi_sectors", number(c.sectors)},
             {"pi_guard_match", number(c.guardMatches)},
             {"pi_guard_mismatch", number(c.guardMismatches)},
             {"pi_escaped", number(c.escaped)},
             {"pi_blank", number(c.blank)},
             {"pi_ref_tag", m_rule == RefTagRule::Lba ? "checked" : "not checked"},
             {"pi_ref_tag_mismatch", number(c.refTagMismatches)}};
    for (std::uint64_t lba : c.firstRefTagMismatchLbas) lines.emplace_back("pi_ref_tag_bad_lba", number(lba));
    lines.emplace_back("pi_bad", number(c.badSectors));
  }
  if (m_firstBlockUnrecognised) lines.emplace_back("first_block", kFirstBlockUnrecognisedText);
  return lines;
}

}  // namespace mdi
