#include "record/RescueMap.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <sstream>

#include "record/AcquisitionLog.h"
#include "support/LineText.h"

namespace mdi {

RescueMap::RescueMap(std::uint64_t sourceSize) : m_size(sourceSize) {
  if (sourceSize > 0) m_blocks.push_back({0, sourceSize, MapStatus::NonTried});
}

RescueMap RescueMap::ofLinearRead(std::uint64_t sourceSize, std::uint64_t readUpTo, std::optional<BadArea> bad) {
  RescueMap map(sourceSize);
  map.mark(0, readUpTo, MapStatus::Finished);
  if (bad) map.mark(bad->pos, bad->size, MapStatus::Failed);
  return map;
}

void RescueMap::mark(std::uint64_t pos, std::uint64_t size, MapStatus status) {
  if (pos >= m_size) return;
  const std::uint64_t end = pos + std::min(size, m_size - pos);
  if (end == pos) return;
  std::vector<MapBlock> next;
  next.reserve(m_blocks.size() + 2);
  auto append = [&next](std::uint64_t p, std::uint64_t n, MapStatus s) {
    if (n == 0) return;
    if (!next.empty() && next.back().status == s) {
      next.back().size += n;
      return;
    }
    next.push_back({p, n, s});
  };
  bool placed = false;
  for (const MapBlock& b : m_blocks) {
    const std::uint64_t bEnd = b.pos + b.size;
    if (bEnd <= pos || b.pos >= end) {
      if (b.pos >= end && !placed) {
        append(pos, end - pos, status);
        placed = true;
      }
      append(b.pos, b.size, b.status);
      continue;
    }
    if (b.pos < pos) append(b.pos, pos - b.pos, b.status);
    if (!placed) {
      append(pos, end - pos, status);
      placed = true;
    }
    if (bEnd > end) append(end, bEnd - end, b.status);
  }
  if (!placed) append(pos, end - pos, status);
  m_blocks = std::move(next);
}

void RescueMap::truncate(std::uint64_t size) {
  if (size >= m_size) return;
  m_size = size;
  while (!m_blocks.empty() && m_blocks.back().pos >= size) m_blocks.pop_back();
  if (!m_blocks.empty()) m_blocks.back().size = size - m_blocks.back().pos;
}

std::uint64_t RescueMap::bytesWith(MapStatus status) const {
  std::uint64_t n = 0;
  for (const MapBlock& b : m_blocks)
    if (b.status == status) n += b.size;
  return n;
}

namespace {

std::string phaseLine(char status, int pass) {
  switch (status) {
    case '*':
      return "# Trimming failed blocks...\n";
    case '/':
      return "# Scraping failed blocks...\n";
    case '-':
      return "# Retrying bad sectors... Retry " + std::to_string(pass) +
             (pass % 2 == 1 ? " (backwards)\n" : " (forwards)\n");
    default:
      return "# Copying non-tried blocks... Pass " + std::to_string(pass) +
             (pass == 2 ? " (backwards)\n" : " (forwards)\n");
  }
}

}  // namespace

std::string rescueMapText(const RescueMap& map, const MapHeader& header, MapProgress progress) {
  const bool untried =
      map.bytesWith(MapStatus::NonTried) + map.bytesWith(MapStatus::NonTrimmed) + map.bytesWith(MapStatus::NonScraped) >
      0;
  const bool finished = progress.status == '+' || (progress.status == '?' && !untried);
  std::string text;
  text += "# Mapfile. Created by " + oneLineText(header.program) + " version " + oneLineText(header.version) + "\n";
  text += "# Source: " + oneLineText(header.source) + "\n";
  text += "# Image: " + oneLineText(header.image) + "\n";
  for (const auto& [key, value] : header.notes) text += "# " + key + ": " + oneLineText(value) + "\n";
  text += "# Start time:   " + isoUtc(header.start) + "\n";
  text += "# Current time: " + isoUtc(header.end) + "\n";
  text += finished ? std::string("# Finished\n") : phaseLine(progress.status, progress.pass);
  text += "# current_pos  current_status  current_pass\n";
  char line[80];
  std::snprintf(line, sizeof line, "0x%08" PRIX64 "     %c               %d\n", progress.pos,
                finished ? '+' : progress.status, finished ? 1 : progress.pass);
  text += line;
  text += "#      pos        size  status\n";
  for (const MapBlock& b : map.blocks()) {
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", b.pos, b.size,
                  static_cast<char>(b.status));
    text += line;
  }
  return text;
}

std::optional<RescueMap> parseRescueMap(std::string_view text, std::string_view program) {
  const std::string head = "# Mapfile. Created by " + std::string(program) + " version ";
  if (!text.starts_with(head)) return std::nullopt;
  std::vector<MapBlock> blocks;
  bool statusLine = false;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.front() == '#') continue;
    if (!statusLine) {
      statusLine = true;  // current_pos current_status current_pass
      continue;
    }
    std::istringstream fields(line);
    std::string pos, size, status;
    if (!(fields >> pos >> size >> status) || status.size() != 1) return std::nullopt;
    // Hexadecimal or decimal, never signed: stoull would take "-0x1000".
    if (pos.front() == '-' || pos.front() == '+' || size.front() == '-' || size.front() == '+') return std::nullopt;
    MapBlock b;
    try {
      std::size_t used = 0;
      b.pos = std::stoull(pos, &used, 0);
      if (used != pos.size()) return std::nullopt;
      b.size = std::stoull(size, &used, 0);
      if (used != size.size()) return std::nullopt;
    } catch (const std::exception&) { return std::nullopt; }
    b.status = static_cast<MapStatus>(status[0]);
    if (std::string_view("?*/-+").find(status[0]) == std::string_view::npos || b.size == 0) return std::nullopt;
    if (b.size > std::numeric_limits<std::uint64_t>::max() - b.pos) return std::nullopt;
    if (b.pos != (blocks.empty() ? 0 : blocks.back().pos + blocks.back().size)) return std::nullopt;
    blocks.push_back(b);
  }
  if (!statusLine) return std::nullopt;
  RescueMap map(blocks.empty() ? 0 : blocks.back().pos + blocks.back().size);
  for (const MapBlock& b : blocks) map.mark(b.pos, b.size, b.status);
  return map;
}

std::string rescueMapText(const RescueMap& map, const MapHeader& header, std::uint64_t currentPos) {
  return rescueMapText(map, header, MapProgress{currentPos, '?', 1});
}

}  // namespace mdi
