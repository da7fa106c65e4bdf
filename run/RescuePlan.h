#pragma once
// Which part of a failing source a job reads next when it goes past read
// errors, and what each read's outcome means for its map. Pure bookkeeping:
// the run does the reads and reports them here one at a time.
//
// The passes, each over what the ones before left:
//
//   Sweep   copies everything readable in large reads. Pass 1 runs forwards
//           and, after a failed read, skips ahead: 64 KiB, doubled on each
//           failure in a row, at most 1 GiB or a hundredth of the source.
//           The skipped bytes stay not tried ('?'). Pass 2 goes backwards
//           over what pass 1 skipped, skipping the same way; pass 3 reads
//           whatever is still untried, forwards, without skipping. A read
//           that fails leaves what it did not bring as not trimmed ('*').
//   Trim    reads each not-trimmed area sector by sector in from its leading
//           edge until a sector fails, then in from its trailing edge until
//           one fails, and leaves the middle not scraped ('/').
//   Scrape  reads every not-scraped sector once, forwards.
//   Retry   reads every bad sector ('-') once more per retry pass, the first
//           pass backwards and each later one the other way from the last.
//
// So a sector is read at most once in the sweep, once in trim or scrape,
// and once per retry pass: a failing disk is not worn by the program.
//
// Every read starts on a multiple of the grain (a source sector; for a
// conversion, the sector the conversion takes whole) and covers whole
// grains, except at the source's end.
#include <cstdint>
#include <optional>

#include "record/RescueMap.h"

namespace mdi {

enum class RescuePhase { Sweep, Trim, Scrape, Retry, Finished };

// What one sweep read covers: a read that fails is trimmed sector by
// sector from its trailing edge, so it is kept to 64 KiB (128 sectors of
// 512 bytes), as ddrescue's default cluster. Read ahead, such reads keep a
// healthy drive at its speed.
inline constexpr std::uint64_t kSweepBlock = 64 * 1024;

class RescuePlan {
 public:
  struct Settings {
    std::uint64_t grain = 512;  // sector: what trim, scrape and retry read at once
    std::uint64_t block = 0;    // what one sweep read covers, a multiple of grain
    int retryPasses = 0;        // 0, 1 or 3
  };
  struct Read {
    std::uint64_t pos = 0;
    std::uint64_t length = 0;
    friend bool operator==(const Read&, const Read&) = default;
  };

  RescuePlan(std::uint64_t sourceSize, Settings settings);
  // Goes on from a map an earlier run left: reads what it does not mark
  // read, through the same passes; bad sectors ('-') only in retry passes.
  RescuePlan(RescueMap map, Settings settings);

  // The next read; nullopt once every pass is over.
  std::optional<Read> next();
  // What `read` (the last next()) brought: `good` bytes from its start, and
  // whether it then failed. A read that ends short without failing found
  // the source's end there.
  void settle(const Read& read, std::uint64_t good, bool failed);

  RescuePhase phase() const { return m_phase; }
  // Sweep: 1 to 3; Retry: 1 to retryPasses().
  int pass() const { return m_pass; }
  int retryPasses() const { return m_s.retryPasses; }
  // Whether any read has failed so far.
  bool hadError() const { return m_hadError; }
  const RescueMap& map() const { return m_map; }
  // Where the last read ended, for the map's status line.
  std::uint64_t position() const { return m_position; }
  // The map's status line: the pass the job is in.
  MapProgress progress() const;
  // Source bytes not read (yet).
  std::uint64_t unreadBytes() const { return m_map.sourceSize() - m_map.bytesWith(MapStatus::Finished); }
  // Areas of bad sectors.
  std::uint64_t badAreas() const;
  // The source bytes the image stands for: up to the end of the last area
  // that has been tried; beyond it nothing has been read yet.
  std::uint64_t triedExtent() const;

 private:
  std::optional<Read> nextSweep();
  std::optional<Read> nextTrim();
  std::optional<Read> nextScrape();
  std::optional<Read> nextRetry();
  void settleSweep(const Read& read, std::uint64_t good, bool failed);
  void enter(RescuePhase phase, int pass, std::uint64_t cursor);
  std::uint64_t skipLength();
  std::uint64_t grainDown(std::uint64_t x) const { return x / m_s.grain * m_s.grain; }
  // The grain that begins at `pos`, cut at the source's end.
  Read sectorAt(std::uint64_t pos) const;

  RescueMap m_map;
  Settings m_s;
  RescuePhase m_phase = RescuePhase::Sweep;
  int m_pass = 1;
  std::uint64_t m_cursor = 0;  // where the current pass goes on from
  int m_failuresInRow = 0;
  bool m_hadError = false;
  std::uint64_t m_position = 0;
  // Trim: the area being trimmed in from its trailing edge, by its end.
  std::optional<std::uint64_t> m_trimmingBackFrom;
};

}  // namespace mdi
