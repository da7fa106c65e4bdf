#pragma once
// One reference model for whole runs. A row names the source (a file, a
// drive, a simulated SCSI disk, or the fault device's files and loop
// devices), its sizes and sector layout, a fault and the options, and the
// healthy jobs beside it; the model predicts the image, the .extra, the
// status and the job's statuses, the bytes counted, the record, the
// checksum files and the map, each job beside as it predicts a job of its
// own, and what belongs to the run: its size and the bar's maximum, the
// status bar, the locked window, the shutdown. One body (RunOracle::check)
// runs a row on the real engine and checks every prediction; the engine and
// the fault-device suites each give a table.
#include <fcntl.h>

#include <regex>
#include <thread>

#include "record/RescueMap.h"
#include "run/StepSize.h"
#include "support/Hasher.h"
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
  const std::uint64_t step = blocksPerStep(block, r.mutate != 0) * block;
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

// Open descriptors of this process that name `path`, with their access mode.
inline std::vector<int> accessModesOf(const std::string& path) {
  std::vector<int> modes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(e.path(), ec) != fs::path(path) || ec) continue;
    std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
    for (std::string key, octal; info >> key;)
      if (key == "flags:" && info >> octal) modes.push_back(std::stoi(octal, nullptr, 8) & O_ACCMODE);
  }
  return modes;
}

// The window is locked for the run and unlocked at its end, in this order:
// Close, the two frames, Run and the job editor off, Stop and the timer on.
inline void expectLockedThenUnlocked(const std::vector<std::string>& log) {
  std::vector<std::string> want;
  for (const bool lock : {true, false}) {
    const std::string off = lock ? " 0" : " 1", on = lock ? " 1" : " 0";
    want.push_back("close" + off);
    for (const char* c : {"Frame1", "Frame3", "Command1", "Command2"}) want.push_back("enable " + std::string(c) + off);
    for (const char* c : {"XPButton1", "Timer1"}) want.push_back("enable " + std::string(c) + on);
  }
  std::vector<std::string> got;  // from the last run's lock on (choosing a target at Run enables some before)
  const auto lock = std::find(log.rbegin(), log.rend(), "close 0").base() - 1;
  std::copy_if(lock, log.end(), std::back_inserter(got),
               [&](const std::string& l) { return std::ranges::count(want, l); });
  EXPECT_EQ(got, want);
}

// The pass a map says its job was in: the status of its status line, the
// first that is not a comment.
inline char passOf(const std::string& mapText) {
  std::smatch m;
  return std::regex_search(mapText, m, std::regex(R"((^|\n)0x\w+\s+(\S))")) ? m.str(2).at(0) : 0;
}

inline std::string sha256Of(const Bytes& b) {
  Hasher h({HashAlgo::Sha256});
  h.update(b);
  return h.finish().digests.at(0).hex;
}

class RunOracle : public RunFixture, public ::testing::WithParamInterface<Row> {
 public:
  // Lays the row's source out and adds it as job 1; its bytes, the path
  // its record names, and what else the record says of it.
  struct Made {
    Bytes data;
    std::string path;
    Fields record{};
  };
  virtual Made makeSource(const Row& r) = 0;

  void check(const Row& r) {
    setMutate(r.mutate != 0);
    form.Options.layout = r.layout;
    form.Options.goPastErrors = r.goPast;
    form.Options.retryPasses = r.retries;
    form.Options.hashes = r.hashes;
    form.Options.verifyImages = form.Options.rereadSources = r.verify;
    ui.setChecked(Ctl::Check4, r.forceRead);
    ui.setChecked(Ctl::Check1, r.shutdown);
    const Made made = makeSource(r);
    std::vector<std::string> sources{made.path};
    std::vector<Bytes> others;
    for (const Other& o : r.others) {
      others.push_back(patternBytes(o.bytes, 6 + others.size()));
      sources.push_back(src("beside" + std::to_string(others.size()) + ".img", others.back()));
      addFileJob(sources.back(), o.declared, std::to_string(r.alone(o).s()), std::to_string(r.t));
    }
    if (r.gone) fs::remove(made.path);
    const auto reads = std::make_shared<ReadLog>();
    if (r.from == From::File && !r.gone) {
      files.badRanges[made.path] = r.bad;
      files.readLogs[made.path] = reads;
    }
    if (r.write == Write::Full || r.write == Write::FullOnce) files.writeLimit[output(1)] = r.limit;
    if (r.write == Write::FullOnce) files.writeLimitOnce.insert(output(1));  // a later write goes through
    if (r.write == Write::FailedSync) files.failSync.insert(output(1));
    if (r.write == Write::PrepareFails) files.failResize.insert(output(1));
    if (r.write == Write::FailedCut) files.failCut.insert(output(1));
    if (r.write == Write::AlteredBeforeVerify) {
      pump.every([this] {
        if (status(1) != "Verifying...") return;
        std::fstream f(output(1), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1000);
        f.put('\x7f');
      });
    }
    std::optional<std::uint64_t> atExit;
    std::optional<bool> locked;               // the job grid, at the first cycle (the rest is in the log)
    std::vector<std::vector<int>> openModes;  // of each source then
    pump.at(1, [&] {
      locked = !form.iGrid2.acceptsInput();
      for (const std::string& path : sources) openModes.push_back(accessModesOf(path));
    });
    if (r.end == End::Stop) pressStopAt(r.step);
    if (r.end == End::StopAnsweredNo) pressStopAt(r.step, MsgAnswer::No);
    if (r.end == End::Exit) {
      pump.at(r.step, [&] {
        controller.closeAllFiles();
        atExit = fs::file_size(output(1));
      });
    }
    if (r.resume != Resume::No) breakOff(r, *reads);
    const Prediction p = predict(r, made.data);
    if (r.spare) fsys.free = p.needed + *r.spare;
    // A mutate job writes whole blocks of target sectors each step.
    std::vector<std::uint64_t> sizes;
    const bool stepped = r.mutate && p.pumpCalls && r.end == End::Done && r.bytes > 0;
    if (stepped) pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
    std::size_t statusesAtMessage = 0;
    msg.onShow = [&](const Message&) { statusesAtMessage = ui.statusHistory.size(); };
    StatusTrail trail(form.iGrid2);

    controller.RunClicked();

    for (std::size_t k = 0; k < others.size(); ++k) {
      const int row = static_cast<int>(k) + 2;
      SCOPED_TRACE("the job beside, " + std::to_string(row));
      const Row alone = r.alone(r.others[k]);
      const Prediction q = predict(alone, others[k]);
      EXPECT_EQ(status(row), q.status);
      if (!q.trail.empty()) { EXPECT_EQ(trail.rows[row], q.trail); }
      const Bytes got = readFile(output(row)), want = layoutOracle(r.layout, alone.s(), r.t, q.copied).image;
      EXPECT_TRUE(got == want) << firstDifference(got, want);
    }
    checkRun(r, p, locked, openModes);
    if (r.gone) {
      // Not imaged, saying why: no image, record or checksum, and nothing asked.
      EXPECT_EQ(trail.rows[1], std::vector<std::string>{"Not imaged: " + made.path +
                                                        " could not be opened: No such file or directory"});
      for (const char* beside : {"", ".log", ".sha256"}) EXPECT_FALSE(fs::exists(output(1) + beside)) << beside;
      EXPECT_TRUE(msg.shown.empty());
      return;
    }
    ASSERT_EQ(status(1), p.status) << (msg.shown.empty() ? "" : msg.shown[0].text);
    if (r.resume != Resume::No) { EXPECT_EQ(msg.shown.at(0).buttons, MsgButtons::YesNoResume); }
    const Split want = layoutOracle(r.layout, static_cast<std::size_t>(r.s()), static_cast<std::size_t>(r.t), p.copied);
    const Bytes image = readFile(output(1));
    if (r.write == Write::FailedCut) {
      EXPECT_GT(image.size(), want.image.size()) << "the cut failed";
    } else if (r.write != Write::AlteredBeforeVerify) {
      const Bytes wantImage(want.image.begin(), want.image.begin() + static_cast<long>(std::min<std::uint64_t>(
                                                                         p.imageSize.value_or(-1), want.image.size())));
      EXPECT_TRUE(image == wantImage) << firstDifference(image, wantImage);
    }
    // A job that leaves part of each sector out writes it to a .extra.
    if (p.extraKnown && r.s() <= r.t) {
      EXPECT_FALSE(fs::exists(extraOf(1))) << "nothing is left out, so no .extra";
    } else if (p.extraKnown) {
      const Bytes extra = readFile(extraOf(1));
      EXPECT_TRUE(extra == want.extra) << firstDifference(extra, want.extra);
    }
    if (!p.trail.empty()) { EXPECT_EQ(trail.rows[1], p.trail); }
    if (p.bytesDone) { EXPECT_EQ(form.run.BytesDone, *p.bytesDone); }
    if (p.bytesDone && p.status == "Done.") {
      EXPECT_EQ(ui.text(Ctl::Label5), formatGrouped(*p.bytesDone - 512, locale.sep)) << "the main pass's bytes";
    }
    if (p.pumpCalls) { EXPECT_EQ(pump.calls, *p.pumpCalls); }
    if (!p.statusBar.empty()) { EXPECT_EQ(ui.statusHistory, p.statusBar); }
    if (atExit) { EXPECT_EQ(*atExit, want.image.size()) << "Exit leaves the image cut to what was copied"; }
    EXPECT_EQ(msg.titles(), p.titles);
    if (r.end == End::StopAnsweredNo) {
      EXPECT_EQ(msg.shown[0].text, "Stop the imaging process, are you sure");
      EXPECT_TRUE(msg.shown[0].systemModal);
      EXPECT_EQ(form.run.StopRequested, 0);
    }
    if (p.titles == std::vector<std::string>{"Write Error"}) {
      EXPECT_EQ(msg.shown[0].text, "Unable to write to file " + output(1) + ".");
    } else if (p.titles == std::vector<std::string>{"Error"} && r.mutate) {
      EXPECT_EQ(msg.shown[0].text, r.forceRead ? "There may be a problem with the drive as data could not be copied."
                                               : "No data was copied, there may be a problem with sector sizing. Try "
                                                 "again with Force read option set (if available)");
      EXPECT_EQ(msg.shown[0].icon, MsgIcon::Information);
      ASSERT_GT(ui.statusHistory.size(), statusesAtMessage);
      EXPECT_EQ(ui.statusHistory[statusesAtMessage], "Closing files..") << "shown before the files close";
    }
    if (stepped) {
      const BlockLengths l = blockTable().at({r.s(), r.t});
      const std::uint64_t perStep = blocksPerStep(l.read, true) * l.write;
      for (std::uint64_t k = 0; k < sizes.size(); ++k)
        EXPECT_EQ(sizes[k], std::min<std::uint64_t>((k + 1) * perStep, image.size())) << "step " << k + 1;
    }
    if (r.goPast && r.from == From::File) {
      // No bad sector read more often than once per pass.
      for (const BadRange& b : r.bad) {
        for (std::uint64_t at = b.begin / r.s() * r.s(); at < b.end; at += r.s()) {
          const auto touched = std::ranges::count_if(
              *reads, [&](const ReadSpan& x) { return x.pos < at + r.s() && x.pos + x.length > at; });
          EXPECT_LE(touched, 2 + r.retries) << "reads over the bad sector at " << at;
        }
      }
    }
    checkRecord(r, made, p, want);
  }

 private:
  // What belongs to the run as a whole.
  void checkRun(const Row& r, const Prediction& p, std::optional<bool> locked,
                const std::vector<std::vector<int>>& openModes) {
    EXPECT_EQ(form.run.TotalBytes, p.totalBytes);
    if (p.bar) { EXPECT_EQ(ui.progressMaximum(), p.bar); }
    EXPECT_EQ(std::ranges::count(ui.log, "visible ProgBarXP1 1") > 0, p.bar > 0) << "the bar is shown";
    EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
    if (locked) { EXPECT_TRUE(*locked) << "the window is locked during the run"; }
    expectLockedThenUnlocked(ui.log);
    EXPECT_TRUE(ui.closeAllowed);
    EXPECT_TRUE(form.iGrid2.acceptsInput());
    if (!p.statusBar.empty() && r.from == From::File) {
      for (const auto& modes : openModes) EXPECT_EQ(modes, std::vector<int>{O_RDONLY}) << "sources are read only";
    }
    // The computer is shut down only when asked and the run came to its end;
    // after "Process Complete". It can be called off, pending or not.
    const bool shutsDown = r.shutdown && r.end != End::Stop && r.end != End::Exit;
    std::vector<std::string> commands(shutsDown ? 1 : 0, "shutdown -P +1");
    EXPECT_EQ(launcher.commands, commands);
    if (shutsDown) {
      const auto complete = std::ranges::find(ui.log, "status 1 Process Complete");
      EXPECT_LT(complete, std::ranges::find(ui.log, "visible Command6 1"));
    }
    controller.AbortShutdownClicked();
    commands.push_back("shutdown -c");
    EXPECT_EQ(launcher.commands, commands);
    EXPECT_FALSE(ui.isVisible(Ctl::Command6));
  }
  // Runs the row broken off as it says; what it leaves, the next Run finds.
  void breakOff(const Row& r, ReadLog& reads) {
    form.Options.goPastErrors = r.resume != Resume::AfterReadError;
    std::map<std::string, Bytes> atKill;
    if (r.resume == Resume::AfterStop) pressStopAt(r.step);
    if (r.resume == Resume::AfterExit) pump.at(r.step, [this] { controller.closeAllFiles(); });
    if (r.resume == Resume::AfterKill) {
      // What is on disk once a map has been saved mid-run: the image goes
      // on being written after it.
      pump.at(2, [this] { clock.now += 31000; });
      pump.at(r.step, [&] {
        const fs::path map = output(1) + ".map";
        for (int i = 0; i < 300 && !fs::exists(map); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const char* beside : {"", ".extra", ".map"})
          if (fs::exists(output(1) + beside)) atKill[beside] = readFile(output(1) + beside);
        pressStop();
      });
    }
    controller.RunClicked();
    if (r.resume == Resume::AfterKill) {
      for (const char* beside : {"", ".extra", ".sha256", ".log", ".map"}) fs::remove(output(1) + beside);
      for (const auto& [beside, bytes] : atKill) writeBytes(output(1) + beside, bytes);
      EXPECT_TRUE(atKill.contains(".map")) << "no map was saved during the run";
    } else if (r.resume == Resume::AfterReadError) {
      EXPECT_TRUE(status(1).starts_with("Read Error ... at byte ")) << status(1);
    } else {
      EXPECT_EQ(status(1), "Stopped") << "the run was not broken off";
      EXPECT_EQ(passOf(fileText(output(1) + ".map")), r.pass);
    }
    form.Options.goPastErrors = true;
    reads.clear();
    msg.shown.clear();
    msg.answerOnce("File exists", MsgAnswer::Resume);
  }
  void checkRecord(const Row& r, const Made& made, const Prediction& p, const Split& want) {
    const std::string log = record(1);
    const fs::path image(output(1));
    Fields expected{{"outcome", p.status},
                    {"image_path", image.string()},
                    {"source_path", made.path},
                    {"bytes_written", std::to_string(p.imageSize.value_or(want.image.size()))},
                    {"sector_mutate", r.mutate ? "yes" : "no"},
                    {"sector_in", std::to_string(r.s())},
                    {"sector_out", std::to_string(r.t)},
                    {"sector_layout", r.mutate ? std::string(layoutText(r.layout)) : ""}};
    expected.insert(made.record.begin(), made.record.end());
    if (!r.goPast) expected["read_error"] = p.readError;
    if (p.extraKnown) {
      expected["extra_file"] = r.s() > r.t ? extraOf(1) : "";
      if (r.s() > r.t) expected["extra_file_size"] = std::to_string(want.extra.size());
      if (!want.extra.empty()) expected["extra_file_sha256"] = sha256Of(want.extra);
      // A mutate run hashes the raw source stream as well: every byte read.
      const Bytes raw(made.data.begin(), made.data.begin() + static_cast<long>(p.rawRead));
      if (r.mutate && !r.goPast) expected["source_sha256"] = sha256Of(raw);
    }
    if (r.goPast) {
      std::uint64_t areas = 0;
      for (const MapBlock& b : p.rescued->blocks()) areas += b.status == MapStatus::Failed;
      expected["bad_areas"] = std::to_string(areas);
      expected["unread_bytes"] = std::to_string(p.unread);
      expected["bytes_read"] = std::to_string(r.bytes - p.unread);
    }
    if (r.write == Write::FailedCut) expected.erase("read_error");
    if (r.verify) {
      expected["verify_result"] = r.write == Write::AlteredBeforeVerify    ? "Verify failed"
                                  : p.status.starts_with("Done. Verified") ? "Verified"
                                                                           : "";
    }
    EXPECT_EQ(fieldsOf(log, expected), expected);
    if (r.piReport) {
      EXPECT_EQ(field(log, "pi_bad"), r.piReport->bad);
      EXPECT_EQ(test::fields(log, "pi_ref_tag_bad_lba"), r.piReport->badLbas);
      EXPECT_EQ(!field(log, "first_block").empty(), r.piReport->firstBlockUnrecognised);
      EXPECT_EQ(field(log, "pi_ref_tag"), r.piReport->refTag);
    }
    if (r.verify && !expected["verify_result"].empty()) {
      // What was read back is recorded beside what was copied: the image,
      // and the source again (its raw stream, for a mutate job).
      const std::string copied = field(log, "image_sha256");
      EXPECT_EQ(field(log, "verify_image_sha256") == copied, r.write != Write::AlteredBeforeVerify) << log;
      if (r.write != Write::AlteredBeforeVerify) {
        EXPECT_EQ(field(log, "verify_source_sha256"), field(log, r.mutate ? "source_sha256" : "image_sha256"));
      }
    }
    // Digests and map, checked with the coreutils tools and ddrescuelog as an operator would.
    const std::string name = image.filename().string();
    auto in = [&](const std::string& cmd) { return shell("cd " + shellQuote(image.parent_path()) + " && " + cmd); };
    for (const HashAlgo a : kAllHashAlgos) {
      const std::string algo(hashAlgoName(a));
      // Verifying needs a digest: the run makes one even when no hash is chosen.
      EXPECT_EQ(fs::exists(image.string() + "." + algo), r.hashes.contains(a)) << algo;
      // (An image changed on disk, or longer than what was copied, is no longer what they hash.)
      const bool changed = r.write == Write::AlteredBeforeVerify || r.write == Write::FailedCut;
      if (!r.hashes.contains(a) || changed || !haveTool(algo + "sum")) continue;
      const auto sum = in(algo + "sum -c --strict " + name + "." + algo);
      EXPECT_EQ(sum.exitCode, 0) << sum.output;
    }
    if (p.map) { EXPECT_EQ(fs::exists(image.string() + ".map"), *p.map); }
    if (p.rescued) { EXPECT_EQ(blocksOf(fileText(image.string() + ".map")), p.rescued->blocks()); }
    if (p.map.value_or(false) && haveTool("ddrescuelog")) {
      const auto t = in("ddrescuelog -t " + name + ".map");
      EXPECT_EQ(t.exitCode, 0) << t.output;
      if (!p.readError.empty()) {
        // The failed blocks of the map, one byte each: the first is the first unreadable byte.
        const auto list = in("ddrescuelog -l- -b1 " + name + ".map");
        EXPECT_EQ(list.output.substr(0, list.output.find('\n')), p.readError) << list.output;
      }
    }
    // The README's rebuild script, run as an operator would, gives the source back.
    const std::string script = r.mutate && r.s() != r.t && !p.imageSize ? readmeScript(dir) : "";
    if (script.empty()) return;
    const char* word = r.layout == SectorLayout::DataFirst  ? "first"
                       : r.layout == SectorLayout::DataLast ? "last"
                                                            : "groups";
    const std::string extra = fs::exists(extraOf(1)) ? extraOf(1) : "/dev/null";
    const std::string cmd = "python3 " + shellQuote(script) + " " + word + " " + std::to_string(r.s()) + " " +
                            std::to_string(r.t) + " " + shellQuote(output(1)) + " " + shellQuote(extra) + " " +
                            shellQuote((dir / "raw").string());
    const auto run = shell(cmd);
    ASSERT_EQ(run.exitCode, 0) << cmd << "\n" << run.output;
    const Bytes raw = readFile(dir / "raw");
    EXPECT_TRUE(raw == p.copied) << "rebuild.py: " << firstDifference(raw, p.copied);
  }
};

}  // namespace mdi::test
