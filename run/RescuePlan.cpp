#include "run/RescuePlan.h"

#include <algorithm>
#include <utility>

namespace mdi {

namespace {

constexpr std::uint64_t kFirstSkip = 64 * 1024;
constexpr std::uint64_t kLongestSkip = 1024ull * 1024 * 1024;

// The first block with this status that ends after `from`.
const MapBlock* firstFrom(const RescueMap& map, MapStatus status, std::uint64_t from) {
  for (const MapBlock& b : map.blocks())
    if (b.status == status && b.pos + b.size > from) return &b;
  return nullptr;
}

// The last block with this status that begins before `before`.
const MapBlock* lastBefore(const RescueMap& map, MapStatus status, std::uint64_t before) {
  const auto& blocks = map.blocks();
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
    if (it->status == status && it->pos < before) return &*it;
  return nullptr;
}

}  // namespace

RescuePlan::RescuePlan(std::uint64_t sourceSize, Settings settings) : RescuePlan(RescueMap(sourceSize), settings) {}

RescuePlan::RescuePlan(RescueMap map, Settings settings) : m_map(std::move(map)), m_s(settings) {
  m_s.grain = std::max<std::uint64_t>(m_s.grain, 1);
  m_s.block = std::max(m_s.block / m_s.grain * m_s.grain, m_s.grain);
  for (const MapBlock& b : m_map.blocks())
    m_hadError = m_hadError || (b.status != MapStatus::Finished && b.status != MapStatus::NonTried);
}

void RescuePlan::enter(RescuePhase phase, int pass, std::uint64_t cursor) {
  m_phase = phase;
  m_pass = pass;
  m_cursor = cursor;
  m_failuresInRow = 0;
}

RescuePlan::Read RescuePlan::sectorAt(std::uint64_t pos) const {
  return {pos, std::min(m_s.grain, m_map.sourceSize() - pos)};
}

std::uint64_t RescuePlan::skipLength() {
  const std::uint64_t longest = std::max(kFirstSkip, std::min(kLongestSkip, m_map.sourceSize() / 100));
  const int doublings = std::min(m_failuresInRow - 1, 30);
  const std::uint64_t skip = std::min(kFirstSkip << std::max(doublings, 0), longest);
  return (skip + m_s.grain - 1) / m_s.grain * m_s.grain;
}

std::optional<RescuePlan::Read> RescuePlan::next() {
  for (;;) {
    std::optional<Read> r;
    switch (m_phase) {
      case RescuePhase::Sweep:
        r = nextSweep();
        break;
      case RescuePhase::Trim:
        r = nextTrim();
        break;
      case RescuePhase::Scrape:
        r = nextScrape();
        break;
      case RescuePhase::Retry:
        r = nextRetry();
        break;
      case RescuePhase::Finished:
        return std::nullopt;
    }
    if (r) return r;  // else the phase moved on: ask the next one
  }
}

std::optional<RescuePlan::Read> RescuePlan::nextSweep() {
  const std::uint64_t size = m_map.sourceSize();
  if (m_pass == 1) {
    // Forwards through what is untried: all of a fresh source, the gaps
    // an earlier run left.
    if (const MapBlock* b = firstFrom(m_map, MapStatus::NonTried, m_cursor)) {
      const std::uint64_t from = std::max(m_cursor, b->pos);
      return Read{from, std::min(m_s.block, b->pos + b->size - from)};
    }
    enter(RescuePhase::Sweep, 2, size);
  }
  if (m_pass == 2) {
    if (const MapBlock* b = lastBefore(m_map, MapStatus::NonTried, m_cursor)) {
      const std::uint64_t end = std::min(m_cursor, b->pos + b->size);
      const std::uint64_t from = end > m_s.block ? std::max(b->pos, grainDown(end - m_s.block)) : b->pos;
      return Read{from, end - from};
    }
    enter(RescuePhase::Sweep, 3, 0);
  }
  if (const MapBlock* b = firstFrom(m_map, MapStatus::NonTried, m_cursor)) {
    const std::uint64_t from = std::max(m_cursor, b->pos);
    return Read{from, std::min(m_s.block, b->pos + b->size - from)};
  }
  enter(RescuePhase::Trim, 1, 0);
  return std::nullopt;
}

std::optional<RescuePlan::Read> RescuePlan::nextTrim() {
  if (m_trimmingBackFrom) {
    for (const MapBlock& b : m_map.blocks())
      if (b.status == MapStatus::NonTrimmed && b.pos + b.size == *m_trimmingBackFrom)
        return sectorAt(grainDown(*m_trimmingBackFrom - 1));
    m_trimmingBackFrom.reset();  // read through from both edges
  }
  if (const MapBlock* b = firstFrom(m_map, MapStatus::NonTrimmed, 0)) return sectorAt(b->pos);
  enter(RescuePhase::Scrape, 1, 0);
  return std::nullopt;
}

std::optional<RescuePlan::Read> RescuePlan::nextScrape() {
  if (const MapBlock* b = firstFrom(m_map, MapStatus::NonScraped, 0)) return sectorAt(b->pos);
  if (m_s.retryPasses > 0) enter(RescuePhase::Retry, 1, m_map.sourceSize());
  else enter(RescuePhase::Finished, 1, 0);
  return std::nullopt;
}

std::optional<RescuePlan::Read> RescuePlan::nextRetry() {
  const bool backwards = m_pass % 2 == 1;
  if (backwards) {
    if (const MapBlock* b = lastBefore(m_map, MapStatus::Failed, m_cursor))
      return sectorAt(grainDown(std::min(m_cursor, b->pos + b->size) - 1));
  } else if (const MapBlock* b = firstFrom(m_map, MapStatus::Failed, m_cursor)) {
    return sectorAt(std::max(m_cursor, b->pos));
  }
  if (m_pass < m_s.retryPasses) enter(RescuePhase::Retry, m_pass + 1, backwards ? 0 : m_map.sourceSize());
  else enter(RescuePhase::Finished, 1, 0);
  return std::nullopt;
}

void RescuePlan::settle(const Read& read, std::uint64_t good, bool failed) {
  good = std::min(good, read.length);
  m_position = read.pos + good;
  if (failed) m_hadError = true;
  // A read that ended short without failing found the source's end.
  if (!failed && good < read.length) {
    m_map.mark(read.pos, good, MapStatus::Finished);
    m_map.truncate(read.pos + good);
  }
  if (m_phase == RescuePhase::Sweep) return settleSweep(read, good, failed);
  // Trim, scrape and retry read one sector: it is read, or it is bad.
  if (!failed) {
    m_map.mark(read.pos, read.length, MapStatus::Finished);
    if (m_phase == RescuePhase::Trim && m_trimmingBackFrom) m_trimmingBackFrom = read.pos;
  } else {
    m_map.mark(read.pos, read.length, MapStatus::Failed);
    if (m_phase == RescuePhase::Trim) {
      if (!m_trimmingBackFrom) {
        // The leading edge is found; now in from the trailing one.
        const MapBlock* rest = firstFrom(m_map, MapStatus::NonTrimmed, read.pos);
        if (rest && rest->pos == read.pos + read.length) m_trimmingBackFrom = rest->pos + rest->size;
      } else {
        // Both edges found: what lies between is for scraping.
        for (const MapBlock& b : m_map.blocks()) {
          if (b.status == MapStatus::NonTrimmed && b.pos + b.size == read.pos) {
            m_map.mark(b.pos, b.size, MapStatus::NonScraped);
            break;
          }
        }
        m_trimmingBackFrom.reset();
      }
    }
  }
  if (m_phase == RescuePhase::Retry) m_cursor = m_pass % 2 == 1 ? read.pos : read.pos + read.length;
}

void RescuePlan::settleSweep(const Read& read, std::uint64_t good, bool failed) {
  if (!failed) {
    m_failuresInRow = 0;
    m_map.mark(read.pos, good, MapStatus::Finished);
    m_cursor = m_pass == 2 ? read.pos : read.pos + read.length;
    return;
  }
  // Only whole sectors count as read: the rest of the read is for trimming.
  const std::uint64_t kept = grainDown(good);
  m_map.mark(read.pos, kept, MapStatus::Finished);
  m_map.mark(read.pos + kept, read.length - kept, MapStatus::NonTrimmed);
  ++m_failuresInRow;
  if (m_pass == 1) {
    m_cursor = read.pos + read.length + skipLength();
  } else if (m_pass == 2) {
    const std::uint64_t skip = skipLength();
    m_cursor = read.pos > skip ? read.pos - skip : 0;
  } else {
    m_cursor = read.pos + read.length;
  }
}

MapProgress RescuePlan::progress() const {
  switch (m_phase) {
    case RescuePhase::Sweep:
      return {m_position, '?', m_pass};
    case RescuePhase::Trim:
      return {m_position, '*', 1};
    case RescuePhase::Scrape:
      return {m_position, '/', 1};
    case RescuePhase::Retry:
      return {m_position, '-', m_pass};
    case RescuePhase::Finished:
      break;
  }
  return {m_position, '+', 1};
}

std::uint64_t RescuePlan::badAreas() const {
  return static_cast<std::uint64_t>(std::count_if(m_map.blocks().begin(), m_map.blocks().end(),
                                                  [](const MapBlock& b) { return b.status == MapStatus::Failed; }));
}

std::uint64_t RescuePlan::triedExtent() const {
  const auto& blocks = m_map.blocks();
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
    if (it->status != MapStatus::NonTried) return it->pos + it->size;
  return 0;
}

}  // namespace mdi
