#pragma once
// What a job read of its source, as a GNU ddrescue mapfile: '+' read,
// '-' failed sector by sector, '?' not tried, and, while a job goes past
// read errors, '*' failed in a larger read and not yet trimmed from its
// edges, '/' trimmed but not yet scraped; in byte offsets of the source. The text is
// what ddrescue itself would write, so ddrescuelog and ddrescueview read
// it, and ddrescue can go on from it to rescue the rest.
//
// Promises: the blocks are ordered, cover the whole source without gap or
// overlap, none is empty, and no two neighbours share a status. An empty
// source has no blocks.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mdi {

enum class MapStatus : char { NonTried = '?', NonTrimmed = '*', NonScraped = '/', Failed = '-', Finished = '+' };

struct MapBlock {
  std::uint64_t pos = 0;
  std::uint64_t size = 0;
  MapStatus status = MapStatus::NonTried;
  friend bool operator==(const MapBlock&, const MapBlock&) = default;
};

// A failed area of the source: usually one source sector at the offset of
// the failed read.
struct BadArea {
  std::uint64_t pos = 0;
  std::uint64_t size = 0;
};

class RescueMap {
 public:
  // Everything not tried yet.
  explicit RescueMap(std::uint64_t sourceSize);

  // A job that read its source front to back: [0, readUpTo) read, then,
  // when a read failed, `bad` failed; everything else not tried. A job that
  // went on after the failure marks what it did next with mark().
  static RescueMap ofLinearRead(std::uint64_t sourceSize, std::uint64_t readUpTo,
                                std::optional<BadArea> bad = std::nullopt);

  // Gives [pos, pos + size) the status, over whatever it had; the part past
  // the source's end is ignored.
  void mark(std::uint64_t pos, std::uint64_t size, MapStatus status);

  // The source turned out to end at `size`: blocks past it are dropped.
  void truncate(std::uint64_t size);

  std::uint64_t sourceSize() const { return m_size; }
  const std::vector<MapBlock>& blocks() const { return m_blocks; }
  std::uint64_t bytesWith(MapStatus status) const;

 private:
  std::uint64_t m_size;
  std::vector<MapBlock> m_blocks;
};

// The comment lines at the head of the map, for the person who opens it.
struct MapHeader {
  std::string program;
  std::string version;
  std::string source;  // device node or image file
  std::string image;
  std::chrono::system_clock::time_point start;
  std::chrono::system_clock::time_point end;
  // "# key: value" lines after the image's: what the map was made of (the
  // source's size and id, the sector sizes and layout), for going on from
  // it later.
  std::vector<std::pair<std::string, std::string>> notes;
};

// Where the job's reading stood, for the status line: ddrescue's
// current_pos, current_status ('?' copying, '*' trimming, '/' scraping,
// '-' retrying, '+' finished) and current_pass.
struct MapProgress {
  std::uint64_t pos = 0;
  char status = '?';
  int pass = 1;
};

// The mapfile text. A map with nothing left to try is "finished" whatever
// the progress says.
std::string rescueMapText(const RescueMap& map, const MapHeader& header, MapProgress progress);
// A mapfile this program wrote (by `program`), read back: nullopt for any
// other text, or blocks that do not tile the source from 0 in order.
std::optional<RescueMap> parseRescueMap(std::string_view text, std::string_view program);

// A job that read front to back: copying, pass 1, ended at currentPos.
std::string rescueMapText(const RescueMap& map, const MapHeader& header, std::uint64_t currentPos);

}  // namespace mdi
