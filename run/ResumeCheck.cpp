#include "run/ResumeCheck.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace mdi {

namespace {

// The map's "# key: value" notes.
std::map<std::string, std::string> mapNotes(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("# ")) continue;
    const auto colon = line.find(": ");
    if (colon != std::string::npos) fields.emplace(line.substr(2, colon - 2), line.substr(colon + 2));
  }
  return fields;
}

// The end of what the map says was read: the image holds at least that.
std::uint64_t readExtent(const RescueMap& map) {
  const auto& blocks = map.blocks();
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
    if (it->status == MapStatus::Finished) return it->pos + it->size;
  return 0;
}

// Whether the image holds, wherever the map says it read the source's
// head, what the source's head converts to now.
bool headMatches(const ResumeFacts& facts, const ResumeJob& job, const RescueMap& map) {
  const auto s = static_cast<std::uint64_t>(job.sectorIn);
  std::uint64_t have = facts.sourceHead.size();
  if (have < job.sourceSize) have = have / s * s;  // whole sectors only, but at the end
  if (have == 0) return true;                      // nothing could be read to compare
  std::vector<std::byte> image, extra;
  const std::span<const std::byte> head(facts.sourceHead.data(), static_cast<std::size_t>(have));
  if (!convertLayout(job.layout, job.sectorIn, job.sectorOut, head, 0, image, extra)) return false;
  for (const MapBlock& b : map.blocks()) {
    if (b.status != MapStatus::Finished || b.pos >= have) continue;
    const std::uint64_t from = (b.pos + s - 1) / s * s;
    const std::uint64_t to = std::min(b.pos + b.size, have);
    if (from >= to) continue;
    const auto a = layoutSplit(job.layout, job.sectorIn, job.sectorOut, from).imageBytes;
    const auto z = layoutSplit(job.layout, job.sectorIn, job.sectorOut, to).imageBytes;
    if (z > facts.imageHead.size() || z > image.size()) return false;
    if (!std::equal(image.begin() + static_cast<long>(a), image.begin() + static_cast<long>(z),
                    facts.imageHead.begin() + static_cast<long>(a)))
      return false;
  }
  return true;
}

}  // namespace

bool writtenBy(const std::string& mapText, const std::string& program) {
  return parseRescueMap(mapText, program).has_value();
}

ResumeVerdict checkResume(const ResumeFacts& facts, const ResumeJob& job, const std::string& imagePath,
                          const std::string& program) {
  const std::string mapPath = imagePath + ".map";
  auto refuse = [&](const std::string& why) {
    return ResumeVerdict{std::nullopt, "Cannot resume from " + mapPath + ": " + why + "."};
  };
  std::optional<RescueMap> map;
  if (facts.mapText) map = parseRescueMap(*facts.mapText, program);
  if (!map) return refuse("it is not a map written by this program");
  if (!facts.sourceOpenFailure.empty()) return refuse(facts.sourceOpenFailure);
  const auto notes = mapNotes(*facts.mapText);
  auto field = [&notes](const std::string& key) {
    const auto it = notes.find(key);
    return it == notes.end() ? std::string() : it->second;
  };
  const std::string size = std::to_string(job.sourceSize);
  if (field("source_size") != size || map->sourceSize() != job.sourceSize)
    return refuse("the source is " + size + " bytes, not the " + field("source_size") +
                  " bytes of the source the image was made from");
  if (!job.serial.empty() && field("source_serial") != job.serial)
    return refuse("the source's serial is " + job.serial + ", not " + field("source_serial") +
                  " as the image's source's was");
  const std::string mutate = job.mutate ? "yes" : "no";
  if (field("sector_mutate") != mutate || field("sector_in") != std::to_string(job.sectorIn) ||
      field("sector_out") != std::to_string(job.sectorOut) ||
      (job.mutate && field("sector_layout") != layoutText(job.layout)))
    return refuse("the image was made with other sector sizes or another sector layout");
  const std::uint64_t least = layoutSplit(job.layout, job.sectorIn, job.sectorOut, readExtent(*map)).imageBytes;
  const std::uint64_t most = layoutSplit(job.layout, job.sectorIn, job.sectorOut, job.sourceSize).imageBytes;
  if (!facts.imageSize || *facts.imageSize < least || *facts.imageSize > most)
    return refuse("the image " + imagePath + " has changed length");
  // The source bytes the image leaves out go on at their places in .extra:
  // one cut short or gone would be filled with zeros as if unread.
  const std::uint64_t extraLeast = layoutSplit(job.layout, job.sectorIn, job.sectorOut, readExtent(*map)).extraBytes;
  const std::uint64_t extraMost = layoutSplit(job.layout, job.sectorIn, job.sectorOut, job.sourceSize).extraBytes;
  if (job.mutate && extraMost > 0) {
    const std::string extraPath = imagePath + ".extra";
    if (!facts.extraSize) return refuse("the file " + extraPath + " is missing");
    if (*facts.extraSize < extraLeast || *facts.extraSize > extraMost)
      return refuse("the file " + extraPath + " has changed length");
  }
  if (!headMatches(facts, job, *map))
    return refuse("the source's first 64 KiB differ from the image's: it is not the source the image was made from");
  return {std::move(map), {}};
}

}  // namespace mdi
