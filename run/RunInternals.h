#pragma once
// The per-run working state, shared by the run's preparation, its copy
// loops and its completion. It lives only while RunClicked runs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/JobConversion.h"
#include "platform/Aside.h"
#include "platform/CycleIo.h"
#include "platform/RawIo.h"
#include "record/HashPipeline.h"
#include "run/JobStatus.h"
#include "run/RescuePlan.h"
#include "run/RunController.h"
#include "run/StepSize.h"
#include "support/NumberFormat.h"

namespace mdi {

struct RunController::Run {
  struct Job {
    std::unique_ptr<Source> source;  // null until opened
    std::unique_ptr<Output> target;  // null until created
    std::string outputPath;
    std::int64_t sourceSize = 0;
    std::int32_t done = 0;  // reached its end in the current pass
    bool inFlight = false;  // its step is out
    // Blocks settled in the current pass: a step may read several blocks
    // at once, and counts as the blocks it covered.
    std::int32_t passSteps = 0;
    // A main-pass step's pieces (see nextStepPieces), and when the step out
    // was started.
    std::size_t stepPieces = 1;
    std::int32_t stepStartedTick = 0;
    std::size_t block = 0;      // the current pass's block length
    std::int64_t stepFrom = 0;  // where the step being settled began
    // After a failed read, the rest of its piece is re-read sector by sector,
    // a step each, up to here; unset otherwise.
    std::optional<std::int64_t> reReadEnd;
    // The next re-read: up to the next sector boundary, a failed read may
    // have stopped inside a sector.
    std::size_t reReadLength() const {
      const auto s = static_cast<std::int64_t>(sourceSector);
      return static_cast<std::size_t>(std::min(s - bytesRead % s, *reReadEnd - bytesRead));
    }
    // What happened to the job; its outcome follows from these alone.
    bool started = false;                     // the copy loop began with it
    bool reachedEnd = false;                  // a read found the end of its source
    bool writeFailed = false;                 // sticky: the image is not whole
    std::optional<std::int64_t> readErrorAt;  // first byte that could not be read
    std::int64_t bytesRead = 0;               // source bytes read so far: where the next read starts
    std::int64_t bytesWritten = 0;            // image bytes written so far
    // Where the image ends when a write failed: bytes written later (the
    // finishing pass tries once more) would follow a gap.
    std::optional<std::int64_t> imageEnd;
    std::int64_t imageLength() const {
      return imageEnd.value_or(rescue ? static_cast<std::int64_t>(rescueSplit().imageBytes) : bytesWritten);
    }
    // Going past read errors: which part of the source the job reads next,
    // and its map; null when a read error ends the job. rescueRead is the
    // read of the step out.
    std::unique_ptr<RescuePlan> rescue;
    RescuePlan::Settings rescueSettings;
    RescuePlan::Read rescueRead;
    // Goes on from the map an earlier run left (Resume): its image already
    // holds what that map calls read.
    bool resumed = false;
    // Such a job writes its image (and .extra) at the places of the source
    // bytes it read: they stand for the source up to the last area tried,
    // with zeros where nothing could be read.
    LayoutSplit rescueSplit() const { return placeOf(rescue->triedExtent()); }
    // Where source byte x lands: in the image, and in .extra.
    LayoutSplit placeOf(std::uint64_t x) const { return conversion ? conversion->split(x) : LayoutSplit{x, 0}; }
    // Its reads left the source's order, or bytes passed that the image does
    // not keep: its digests come from the image read back, not from the
    // bytes as they passed.
    bool outOfOrder = false;
    // Its map, saved while it runs: when last, and a save still out.
    std::int32_t mapSavedTick = 0;
    std::shared_ptr<Aside<int>> mapSaving;
    // Sector-mutate path.
    std::int32_t readSize = 0;
    std::int32_t writeSize = 0;
    std::int32_t sourceSector = 0;
    std::int32_t targetSector = 0;
    // The job's conversion: its layout, where it is in the source, its
    // protection-information check, and its last block's image and .extra
    // bytes (valid until the next block is converted).
    std::optional<JobConversion> conversion;
    // `<image>.extra`: the source bytes the image leaves out, in source
    // order. Null when the layout keeps every byte in the image. A cycle
    // writes it while preparing the image write; the bytes count once the
    // cycle settles, so a Stop that gives up an image write cuts .extra back
    // to match the image.
    std::unique_ptr<Output> extra;
    std::int64_t extraPending = 0;
    // Sticky: a cycle's .extra write fell short, or a block could not be
    // converted; the job ends as a write error.
    bool prepareFailed = false;
    // Why its source could not be opened: such a job takes no part in the
    // run (done from the start), nothing is created for it, and it ends
    // "Not imaged: <why>". "" for a job that was opened.
    std::string unopened;
    SourceAccess access = SourceAccess::Direct;  // how its source was opened
    // The files a job was opened with, and how its source was reached.
    void takeFiles(std::unique_ptr<Source> from, std::unique_ptr<Output> image, std::unique_ptr<Output> extraFile) {
      access = from->access();
      source = std::move(from);
      target = std::move(image);
      extra = std::move(extraFile);
    }
    std::int64_t extraWritten = 0;
    std::optional<std::int64_t> extraEnd;  // as imageEnd
    std::int64_t extraLength() const {
      return extraEnd.value_or(rescue ? static_cast<std::int64_t>(rescueSplit().extraBytes) : extraWritten);
    }
    // The start of a source sector that a failed read brought; converted
    // once the rest of the sector is read.
    std::vector<std::byte> carry;
    std::size_t prepared = 0;  // image bytes the step's prepare calls gave to write
    // The record beside the image.
    bool outputCreated = false;  // this run created or emptied the output
    bool hashStale = false;      // a write failed: hash the image as it stands
    // Stop gave up a write that had not returned: the output belongs to
    // that write until it does (which then cuts it to imageLength()), so
    // the image cannot be read back for its hash.
    bool outputGivenUp = false;
    // Stop or Exit gave up a read that had not returned: the drive held it.
    bool readGivenUp = false;
    // Its files being cut, synced and closed aside; the result: whether
    // that failed. closingOutput: an image is among them.
    std::shared_ptr<Aside<bool>> closing;
    bool closingOutput = false;
    // Its files' last cut, sync or close failed or never returned: the
    // image is not known to be on the medium, and no map may vouch for it.
    bool closeFailed = false;
    // The digests of what passed through the job's streams, taken once the
    // copy is over; and whether its record has been written.
    HashResult imageDigests, sourceDigests, extraDigests;
    bool recorded = false;
    std::chrono::system_clock::time_point startedAt{};
    std::string verifyText;  // "Verified" / "Verify failed", when verified
  };
  std::vector<Job> jobs;
  // The cycles' reads and writes over every job's files. Declared after the
  // jobs so it is gone, with nothing left in flight, before their files.
  std::unique_ptr<CycleIo> io;
  std::vector<CycleIo::Step> steps;
  bool mutate = false;
  // Exit closed every file from inside the event pump, and the process ends
  // as soon as the records are written.
  bool closedByExit = false;
  // What Exit leaves the file work it waits for (closing, records): the
  // program ends by then whatever a drive or target is doing.
  std::chrono::steady_clock::time_point exitBy{};
  // The Options menu as it was when the run started.
  FormState::RecordOptions options;
  // Every job's image, and a mutate job's raw source stream and .extra,
  // hashed in order as they pass, off this thread. Null when no hash is
  // asked for.
  std::unique_ptr<HashPipeline> hashes;
  static HashPipeline::StreamId imageStream(std::size_t job) { return 3 * job; }
  static HashPipeline::StreamId sourceStream(std::size_t job) { return 3 * job + 1; }
  static HashPipeline::StreamId extraStream(std::size_t job) { return 3 * job + 2; }
  // `owner`, when given, owns the bytes and keeps them as they are while
  // held: they are hashed where they lie instead of copied.
  void hashImage(std::size_t job, std::span<const std::byte> bytes, std::shared_ptr<const void> owner = {}) {
    if (hashes && !bytes.empty() && !jobs[job].outOfOrder) hashes->submit(imageStream(job), bytes, std::move(owner));
  }
  void hashSource(std::size_t job, std::span<const std::byte> bytes, std::shared_ptr<const void> owner = {}) {
    if (hashes && mutate && !bytes.empty() && !jobs[job].outOfOrder)
      hashes->submit(sourceStream(job), bytes, std::move(owner));
  }
  void hashExtra(std::size_t job, std::span<const std::byte> bytes) {
    if (hashes && jobs[job].extra && !bytes.empty() && !jobs[job].outOfOrder) hashes->submit(extraStream(job), bytes);
  }

  // Starts the next step of every unfinished job whose last step has been
  // settled: it reads blockLength(job) bytes, or with SeveralBlocks the
  // job's stepPieces pieces of blocksPerPiece() such blocks (or, re-reading
  // after a failed read, the next piece of a sector), and writes what
  // prepare makes of them. `now` is the window's tick. Jobs still out go on
  // undisturbed, each at its own pace; the outcomes arrive in steps as
  // RunController::awaitCycle reports them.
  enum class StepSize { OneBlock, SeveralBlocks };
  template <class BlockLength>
  void startCycle(BlockLength blockLength, StepSize size, const CycleIo::Prepare& prepare, std::int32_t now) {
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      auto& job = jobs[i];
      if (job.done || job.inFlight) continue;
      steps[i] = CycleIo::Step{};
      steps[i].go = true;
      job.prepared = 0;
      job.inFlight = true;
      if (job.reReadEnd) {
        steps[i].readLength = job.reReadLength();
        steps[i].plainRead = true;
        continue;
      }
      if (job.rescue) {
        // Placed by RunController::placeRescueReads. A drive that may fail
        // is read by read() alone, past the page cache, nothing ahead of
        // what is asked: the kernel's read-ahead would meet a bad sector
        // in a read nobody asked for, and its retry of the page again.
        steps[i].readLength = static_cast<std::size_t>(job.rescueRead.length);
        steps[i].plainRead = true;
        continue;
      }
      job.block = blockLength(job);
      if (size == StepSize::OneBlock) {
        steps[i].readLength = job.block;
        continue;
      }
      steps[i].pieceLength = blocksPerPiece(job.block, mutate) * job.block;
      steps[i].readLength = steps[i].pieceLength * job.stepPieces;
      job.stepStartedTick = now;
    }
    io->start(steps, prepare);
  }
  // Cycles counted: a cycle is one step of every job that has not finished
  // the pass, so the count follows the job furthest behind (with equal
  // drives, every job's steps together). The pass began at passBase.
  std::int32_t CycleCount = 0;
  // The jobs done before a pass begins: those that could not be opened.
  std::int32_t unopenedCount() const {
    return static_cast<std::int32_t>(
        std::count_if(jobs.begin(), jobs.end(), [](const Job& j) { return !j.unopened.empty(); }));
  }
  std::int32_t passBase = 0;
  std::int32_t FinishedCount = 0;
  // When the window last had its events, for closeCycle.
  std::int32_t lastPumpTick = 0;
};

// Runs file work (open, size, sync, close, write a record) off the window's
// thread: while the window keeps its events until `stopped`, or, once Exit
// has closed the run's files, without them and no later than run.exitBy.
// nullopt when given up; the work then ends alone (see awaitAside).
template <class T>
std::optional<T> filesAside(EventPump& pump, const RunController::Run& run, const std::function<bool()>& stopped,
                            std::function<T()> work) {
  if (!run.closedByExit) return awaitAside<T>(pump, stopped, std::move(work));
  Aside<T> aside(std::move(work));
  const auto left = run.exitBy - std::chrono::steady_clock::now();
  return aside.wait(
      std::max(std::chrono::duration_cast<std::chrono::milliseconds>(left), std::chrono::milliseconds(0)));
}

template <class R>
std::optional<R> RunController::onOutput(Run& run, std::unique_ptr<Output>& out,
                                         std::function<R(std::unique_ptr<Output>&)> work) {
  auto holder = std::make_shared<std::unique_ptr<Output>>(std::move(out));
  auto result = filesAside<R>(
      m_sv.pump, run, [this, &run] { return m_form.run.StopRequested == 1 || run.closedByExit; },
      [holder, work = std::move(work)] { return work(*holder); });
  if (result) out = std::move(*holder);
  return result;
}

JobOutcome outcomeOf(const RunController::Run::Job& job);
// The status of a job going past read errors while it runs: the pass it is in.
std::string rescuePhaseText(const RescuePlan& plan, bool mutate);
// The status a job ends with: its outcome, with where a read failed and
// whether the image verified.
std::string statusTextOf(const RunController::Run::Job& job, const Separators& sep);

// Registers the run as the controller's active one for as long as it
// lives, so Exit can close its files from inside the event pump.
struct ActiveRunScope {
  ActiveRunScope(RunController::Run*& slot, RunController::Run& run) : m_slot(slot) { m_slot = &run; }
  ~ActiveRunScope() { m_slot = nullptr; }
  ActiveRunScope(const ActiveRunScope&) = delete;
  ActiveRunScope& operator=(const ActiveRunScope&) = delete;

 private:
  RunController::Run*& m_slot;
};

}  // namespace mdi
