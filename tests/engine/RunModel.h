#pragma once
// The reference model of whole runs. A row names the source (a file, a
// drive, a simulated SCSI disk, or the fault device's files and loop
// devices), its sizes and sector layout, a fault and the options, and the
// healthy jobs beside it; the model predicts the image, the .extra, the
// status and the job's statuses, the bytes counted, the record, the
// checksum files and the map, each job beside as it predicts a job of its
// own, and what belongs to the run: its size and the bar's maximum, the
// status bar, the locked window, the shutdown. RunOracle.h runs a row on
// the real engine and checks every prediction.
#include "record/RescueMap.h"
#include "run/StepSize.h"
#include "tests/Readme.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {

constexpr std::uint64_t kBlock = 131072, KiB = 1024, MiB = 1024 * KiB;

// The main-pass block lengths of sector mutate, read and written, for each
// pair of sector sizes, as the README's table gives them.
struct BlockLengths {
  std::size_t read = 0, write = 0;
};
using BlockTable = std::map<std::pair<int, int>, BlockLengths>;
inline const BlockTable& blockTable() {
  static const BlockTable table = [] {
    BlockTable t;
    const auto rows = readmeTable("Sector sizes");  // the header row gives Sector Out
    for (std::size_t r = 1; r < rows.size(); ++r) {
      for (std::size_t c = 1; c < rows[r].size() && c < rows[0].size(); ++c) {
        std::string cell = rows[r][c];  // "66,560 / 65,536": read / written
        std::erase(cell, ',');
        const auto slash = cell.find('/');
        t[{std::stoi(rows[r][0]), std::stoi(rows[0][c])}] = {std::stoul(cell.substr(0, slash)),
                                                             std::stoul(cell.substr(slash + 1))};
      }
    }
    return t;
  }();
  return table;
}

enum class From { File, Drive, Scsi, FaultFile, FaultLoop };
// The run ends, or is stopped or left by Exit in step `step`, or a Stop
// there is answered No.
enum class End { Done, Stop, Exit, StopAnsweredNo };
// PrepareFails: the output cannot be pre-sized, and the run is told to go on.
enum class Write { Ok, PrepareFails, Full, FullOnce, FailedSync, FailedCut, AlteredBeforeVerify };
// A run broken off in step `step` (by Stop, Exit, a kill just after a map
// was saved, or a read error it does not go past), then run again, answered
// Resume: it ends as a run that was never broken off.
enum class Resume { No, AfterStop, AfterExit, AfterKill, AfterReadError };

// What the protection-information check reports for a source of PI
// sectors (its own model is in ProtectionInfoTest).
struct PiReport {
  std::string says;  // appended to the status
  const char* bad;   // pi_bad; "" when no PI is reported
  std::vector<std::string> badLbas;
  bool firstBlockUnrecognised;
  const char* refTag;
};

// A healthy job after the row's own: its source's length, its Size cell
// and its Sector In.
struct Other {
  std::uint64_t bytes;
  std::int64_t declared = -1;  // -1: the source's length
  int in = 0;                  // of a mutate job; 0: the row's
};
const std::vector<Other> kBeside{{2 * MiB + 1040}};

struct Row {
  std::string name;
  From from = From::File;
  int mutate = 0;  // Sector In of a sector-mutate job; 0: a straight one
  int t = 512;     // Sector Out
  int s() const { return mutate ? mutate : 512; }
  SectorLayout layout = SectorLayout::DataFirst;
  std::uint64_t bytes = 0;      // the source's length
  std::vector<BadRange> bad{};  // unreadable stretches of the source
  End end = End::Done;
  int step = 0;
  Write write = Write::Ok;
  std::uint64_t limit = 0;  // image bytes a full target takes
  bool goPast = false;
  int retries = 0;
  HashAlgos hashes{HashAlgo::Sha256};
  bool verify = false;
  std::vector<Other> others{};  // jobs beside it, which must end as their own rows would
  bool forceRead = false;       // only changes the wording for a job that copied nothing
  std::string pi{};             // sectors of protection information (PiSectors.h) instead of pattern bytes
  int piType = 0;               // the PI type a drive reports
  std::optional<PiReport> piReport{};
  Resume resume = Resume::No;
  char pass = '?';             // the pass a map left by Stop or Exit says the job was in: '?' the sweep, '*' trimming
  std::int64_t declared = -1;  // the Size cell; -1: the source's length
  bool shutdown = false;       // shut down when done
  // Free space on the target beyond what the run needs (the images at
  // their converted sizes, the .extra files, room for the records); the
  // question it raises is answered Yes.
  std::optional<std::int64_t> spare{};
  bool gone = false;  // the source is gone by Run
  // The row of a job beside it, as if it ran alone.
  Row alone(const Other& o) const {
    return {.name = name,
            .mutate = mutate && o.in ? o.in : mutate,
            .t = t,
            .layout = layout,
            .bytes = o.bytes,
            .hashes = hashes,
            .verify = verify};
  }
};

inline void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

// A read fault as the job meets it; `failTimes` 2 fails the step's read and
// the re-read after it, and reads at a third try: a job that tried it again
// would run on past it.
inline BadRange unreadable(std::uint64_t at, std::uint64_t length = 512, bool whole = true, int failTimes = 2) {
  return {at, at + length, EIO, whole, failTimes};
}

struct Prediction {
  Bytes copied;                            // the source as the image holds it (zeros where unread)
  std::optional<std::uint64_t> imageSize;  // a full target cuts the image here
  std::string status;
  std::vector<std::string> trail;    // the job's statuses; empty where not predicted
  std::string readError;             // the first unreadable byte, where a read error ended the job
  std::uint64_t rawRead = 0;         // source bytes read
  std::optional<bool> map;           // a map is written
  std::optional<RescueMap> rescued;  // the map, going past read errors
  std::uint64_t unread = 0;
  std::optional<std::int64_t> bytesDone;
  std::optional<int> pumpCalls;
  std::vector<std::string> statusBar;  // empty where not predicted
  std::vector<std::string> titles;     // of the messages shown
  std::int64_t totalBytes = 0;         // the run's size
  int bar = 0;                         // the progress bar's maximum; 0: never shown
  std::uint64_t needed = 0;            // free space the run asks for
  bool extraKnown = true;              // the .extra is whole: the image was neither cut by a full target nor left long
};

// The model of going past read errors: a sector (of Sector In bytes) stays
// unread when a range that never gives in touches it, or a flaky one that
// fails more often than the sweep, trim and the retry passes read it.
inline RescueMap goPastMap(const Row& r) {
  RescueMap map(r.bytes);
  map.mark(0, r.bytes, MapStatus::Finished);
  const std::uint64_t s = static_cast<std::uint64_t>(r.s());
  for (const BadRange& b : r.bad) {
    if (b.failTimes != 0 && b.failTimes < 2 + r.retries) continue;
    const std::uint64_t from = b.begin / s * s;
    map.mark(from, std::min((b.end + s - 1) / s * s, r.bytes) - from, MapStatus::Failed);
  }
  return map;
}

inline Prediction predict(const Row& r, const Bytes& source) {
  Prediction p;
  const bool broken = r.end == End::Stop || r.end == End::Exit;
  const std::uint64_t s = static_cast<std::uint64_t>(r.s());
  const std::size_t block = r.mutate ? blockTable().at({r.s(), r.t}).read : kBlock;
  const std::uint64_t step = blocksPerPiece(block, r.mutate != 0) * block;
  // Main-pass steps: the last whole or short one, then one that reads nothing.
  const std::uint64_t mainSteps = r.bytes / step + 1 + (r.bytes % step ? 1 : 0);
  // Without going past read errors, a read that fails is read again piece
  // by piece: a range that gives in at the re-read (failTimes 1) costs
  // nothing, and the job runs on to its end.
  const bool readFault =
      !r.goPast && std::ranges::any_of(r.bad, [](const BadRange& b) { return b.failTimes == 0 || b.failTimes >= 2; });
  const bool plain = r.bad.empty() && (r.write == Write::Ok || r.write == Write::PrepareFails) && !r.verify &&
                     (r.bytes > 0 || !r.mutate) && r.piReport == std::nullopt && !r.gone;
  std::uint64_t copied = r.bytes;
  p.status = "Done.";
  bool finishing = true;  // the finishing pass is reached
  const std::vector<std::string> imaging =
      r.mutate ? std::vector<std::string>{"Imaging..."} : std::vector<std::string>{"Preparing output file", "Imaging"};
  p.trail = imaging;
  p.trail.insert(p.trail.end(), {"Waiting ...", "Finishing..."});
  if (readFault) {
    const auto first = std::ranges::min(r.bad, {}, &BadRange::begin);
    copied = first.begin / s * s;
    // A read that fails whole names the sector; a short one, where it stopped.
    p.readError = std::to_string(first.wholeReadFails ? copied : first.begin);
    p.status = "Read Error ... at byte " + formatGrouped(std::stoll(p.readError), Separators{});
    p.map = true;
    if (r.s() == 512 && r.t == 512 && r.others.empty()) p.bytesDone = (first.begin / block + 1) * kBlock;
  } else if (r.goPast) {
    p.rescued = goPastMap(r);
    p.unread = p.rescued->bytesWith(MapStatus::Failed);
    p.map = true;
    if (p.unread)
      p.status = "Read Errors: " + formatGrouped(static_cast<std::int64_t>(p.unread), Separators{}) + " bytes unread";
    // Trimming reads a bad area's edges; what lies between them is scraped,
    // and what is left then is tried again by each retry pass.
    bool scrape = false, left = false;
    for (const BadRange& b : r.bad) {
      scrape |= (b.end + s - 1) / s - b.begin / s > 2;
      left |= b.failTimes == 0 || b.failTimes >= 2;
    }
    p.trail.push_back("Trimming");
    if (scrape) p.trail.push_back("Scraping");
    for (int k = 1; left && k <= r.retries; ++k)
      p.trail.push_back("Retrying " + std::to_string(k) + " of " + std::to_string(r.retries));
  } else if (broken && static_cast<std::uint64_t>(r.step) <= mainSteps) {
    copied = std::min<std::uint64_t>(r.bytes, r.step * step);
    p.status = "Stopped";
    p.trail.clear();
    finishing = false;
    p.map = true;
  }
  if (broken) p.pumpCalls = r.step;
  if (r.end == End::Stop || r.end == End::StopAnsweredNo) p.titles = {"Stop process?"};
  if (r.write == Write::Full || r.write == Write::FullOnce) {
    p.imageSize = r.limit;
    p.status = "Write Error ...";
    p.trail = imaging;
    p.trail.insert(p.trail.end(), {"Write Error ...", "Finishing..."});
    p.map = false;
    // Once a write fails, the finishing pass writes again, fails, and says so.
    if (r.write == Write::Full) p.titles = {"Write Error"};
  } else if (r.write == Write::FailedSync || r.write == Write::FailedCut) {
    p.status = "Write Error ...";
    if (r.write == Write::FailedCut) p.map = std::nullopt;
  } else if (r.write == Write::AlteredBeforeVerify) {
    p.status = "Verify failed";
  } else if (r.verify && p.status == "Done.") {
    p.status = "Done. Verified";
  }
  if (r.piReport) p.status += r.piReport->says;
  if (!p.trail.empty() && r.write != Write::AlteredBeforeVerify && !r.verify) p.trail.push_back(p.status);
  if (r.verify) p.trail.clear();
  if (r.mutate && copied == 0) p.titles = {"Error"};  // nothing was copied
  if (r.resume != Resume::No) {
    p.trail.clear();  // the passes are taken up where the map left them
    p.titles.insert(p.titles.begin(), "File exists");
  }
  p.extraKnown = !p.imageSize && r.write != Write::FailedCut;
  p.copied.assign(source.begin(), source.begin() + static_cast<long>(copied));
  p.rawRead = readFault ? std::stoull(p.readError) : copied;
  if (p.rescued)
    for (const MapBlock& b : p.rescued->blocks())
      if (b.status == MapStatus::Failed)
        std::fill_n(p.copied.begin() + static_cast<long>(b.pos), static_cast<long>(b.size), std::byte{0});
  if (!broken && plain) {
    if (r.others.empty()) p.pumpCalls = static_cast<int>(mainSteps + 1);
    // The cycles follow the job furthest behind: the longest.
    std::uint64_t longest = r.bytes;
    for (const Other& o : r.others) longest = std::max(longest, o.bytes);
    if (r.s() == 512 && r.t == 512) {
      const std::uint64_t cycles = longest / block + 1 + (longest % block ? 1 : 0);
      p.bytesDone = static_cast<std::int64_t>(cycles * kBlock + 512);
    }
  }
  if (plain && !r.goPast) {
    p.statusBar = {r.others.empty() ? "Creating image" : "Creating images"};
    if (finishing) p.statusBar.push_back(r.mutate ? "Finishi" : "Finishing....");
    if (r.mutate || !broken) p.statusBar.push_back("Closing files..");
    p.statusBar.push_back("Process Complete");
    if (r.end == End::Stop) p.statusBar.push_back("Process stopped by user");
  }
  // The run's size: the blocks of its largest job by the Size cell (the
  // first of equal sizes), and one more; a mutate run counts its read
  // blocks twice. The bar counts the blocks and one more, rounded (a half
  // to even), and is not shown for a run of less than a ten-thousandth of a
  // block.
  const std::uint64_t unit = r.mutate ? 65536 : kBlock;
  std::uint64_t largest = r.declared >= 0 ? r.declared : r.bytes;
  std::size_t read = block;
  auto free = [&](const Row& job, std::uint64_t size) {
    const Split split = layoutOracle(job.layout, job.s(), job.t, Bytes(job.mutate ? size : 0));
    p.needed += (job.mutate ? split.image.size() + split.extra.size() : size) + 64 * KiB;
  };
  free(r, largest);
  for (const Other& o : r.others) {
    const std::uint64_t size = o.declared >= 0 ? o.declared : o.bytes;
    if (size > largest) read = r.mutate ? blockTable().at({r.alone(o).s(), r.t}).read : kBlock;
    largest = std::max(largest, size);
    free(r.alone(o), size);
  }
  p.totalBytes = static_cast<std::int64_t>((largest / unit + 1) * (r.mutate ? 2 * read : unit));
  const std::uint64_t blocks = largest / unit + 1, twice = 2 * (largest % unit);
  if (largest * 10000 / unit > 0) p.bar = static_cast<int>(blocks + (twice > unit || (twice == unit && blocks % 2)));
  if (r.spare && *r.spare < 0) p.titles.insert(p.titles.begin(), "Warning!");
  if (r.write == Write::PrepareFails) p.titles.insert(p.titles.begin(), "Error");
  return p;
}

}  // namespace mdi::test
