#include "convert/JobConversion.h"

#include <algorithm>

namespace mdi {

JobConversion::JobConversion(SectorLayout layout, std::int32_t s, std::int32_t t, int protectionType)
    : m_layout(layout), m_s(s), m_t(t), m_hasExtra(layoutHasExtra(layout, s, t)) {
  if (piCheckApplies(layout, s)) m_pi.emplace(refTagRuleFor(protectionType));
}

bool JobConversion::convert(std::span<const std::byte> block) {
  if (!convertLayout(m_layout, m_s, m_t, block, m_sourceBytes, *m_image, m_extra)) return false;
  if (m_pi) checkPi(block);
  m_sourceBytes += block.size();
  return true;
}

void JobConversion::checkPi(std::span<const std::byte> block) {
  std::uint64_t at = m_sourceBytes;  // source offset of block[0]
  if (!m_piCarry.empty()) {
    const std::size_t take = std::min(kPiSectorBytes - m_piCarry.size(), block.size());
    m_piCarry.insert(m_piCarry.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(take));
    block = block.subspan(take);
    at += take;
    if (m_piCarry.size() < kPiSectorBytes) return;
    m_pi->check(m_piCarry, at / kPiSectorBytes - 1);
    m_piCarry.clear();
  }
  const std::size_t whole = block.size() / kPiSectorBytes * kPiSectorBytes;
  m_pi->check(block.first(whole), at / kPiSectorBytes);
  m_piCarry.assign(block.begin() + static_cast<std::ptrdiff_t>(whole), block.end());
}

}  // namespace mdi
