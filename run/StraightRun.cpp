// The straight run: every job's source copied as it is into an image
// pre-sized to it, in steps of 128 KiB blocks, then a finishing pass of
// 512-byte steps for any remainder.
#include <algorithm>

#include "jobs/JobList.h"
#include "run/RunChecks.h"
#include "run/RunController.h"
#include "run/RunInternals.h"
#include "run/StepSize.h"
#include "support/Val.h"

namespace mdi {

void RunController::RunClicked() {
  if (m_form.running) return;
  if (m_sv.ui.isChecked(Ctl::Check2)) {
    RunMutateImaging();
    return;
  }
  RunState& r = m_form.run;
  resetRunState();
  if (!RunChecks(m_form, m_sv).targetChosen()) return;
  // Locked while checking: the checks' questions wait aside, the window's
  // events go on meanwhile, and nothing may be edited or run again.
  LockRunControls();
  if (!passes([](RunChecks& c) { return c.beforeOpening(false) && c.freeSpaceAccepted(false); })) {
    UnlockRunControls();
    return;
  }
  GridModel& grid = m_form.iGrid2;
  const int n = grid.rowCount();
  Run run;
  run.options = m_form.Options;
  run.jobs.resize(static_cast<std::size_t>(n));
  ActiveRunScope active(m_active, run);

  for (int row = 1; row <= n; ++row) {
    const Fixed4 size = ValFixed(grid.value(row, JobCol::SizeI));
    if (size > r.LargestBlocks) r.LargestBlocks = size;
    auto& job = run.jobs[row - 1];
    job.sourceSize = size.intPart();
    constexpr std::size_t kBlock = 131072;
    job.rescueSettings = {logicalSectorOf(row), kSweepBlock, run.options.retryPasses};
    job.block = kBlock;
    if (run.options.goPastErrors) {
      job.rescue = std::make_unique<RescuePlan>(static_cast<std::uint64_t>(std::max<std::int64_t>(job.sourceSize, 0)),
                                                job.rescueSettings);
    }
  }
  r.BlockSize = 131072;
  r.LargestBlocks = r.LargestBlocks.dividedBy(r.BlockSize);
  // Refused before anything of the run is shown: the window stays as it was.
  if (!passes([](RunChecks& c) { return !c.targetIsASource(); })) {
    UnlockRunControls();
    return;
  }
  if (r.LargestBlocks.raw() > 0) m_progress.ShowRunProgressBar();
  r.TotalBytes = (r.LargestBlocks.intPart() + 1) * r.BlockSize;

  for (int i = 0; i < n; ++i) {
    const int row = i + 1;
    auto& job = run.jobs[i];
    if (!openJob(run, i)) {
      completion(run);
      return;
    }
    if (!job.unopened.empty()) continue;
    const auto size = static_cast<std::uint64_t>(job.sourceSize < 0 ? 0 : job.sourceSize);
    const auto sized = onOutput<int>(run, job.target, [size](std::unique_ptr<Output>& o) { return o->resize(size); });
    if (!sized) {
      completion(run);  // stopped while the target held it
      return;
    }
    if (*sized != 0) {
      const MsgAnswer a =
          m_sv.msg.show({"Error attempting to prepare file. Check there is enough space on the media\n"
                         "Do you want to continue anyway?",
                         "Error", MsgIcon::None, MsgButtons::YesNo, false});
      // Declined: no job has copied anything, so each ends "Not imaged"
      // over an output cut back to nothing, as after a declined overwrite.
      if (a == MsgAnswer::No) {
        completion(run);
        return;
      }
    }
    setStatus(row, Status::Preparing);
    // The size goes to disk before the copy, and the copy writes from the start.
    const auto reopened =
        onOutput<int>(run, job.target, [files = &m_sv.files, path = job.outputPath](std::unique_ptr<Output>& o) {
          const int err = o->close();
          o = files->reopenOutput(path);
          o->seek(0);
          return err;
        });
    if (!reopened) {
      completion(run);
      return;
    }
    if (*reopened != 0) job.writeFailed = true;
    setStatus(row, Status::Imaging);
  }
  straightLoop(run);
}

void RunController::straightLoop(Run& run) {
  RunState& r = m_form.run;
  const int n = static_cast<int>(run.jobs.size());
  auto rows = [&] { return m_form.iGrid2.rowCount(); };

  startIo(run);
  m_sv.ui.setStatusText(1, rows() == 1 ? "Creating image" : "Creating images");
  run.CycleCount = 0;
  r.StartTick = m_sv.clock.tickMs();

  // Only the bytes read are written: a short last block never carries stale
  // bytes of the block before.
  // A job going past read errors keeps only the whole sectors of a failed
  // read: the sector it failed in is read again, on its own, later.
  const CycleIo::Prepare asRead = [&run](std::size_t lane, std::span<const std::byte> data) {
    auto& job = run.jobs[lane];
    if (job.rescue && run.steps[lane].read.failed()) {
      const auto grain = static_cast<std::size_t>(job.rescueSettings.grain);
      data = data.first(data.size() / grain * grain);
    }
    job.prepared += data.size();
    run.hashImage(lane, data, run.steps[lane].readOwner);
    return data;
  };
  // Bytes re-read after a failed read go to the image as they are, 512 at
  // a time, so the image ends exactly at the first unreadable byte. Nothing
  // is ever carried over to a later step.
  for (auto& j : run.jobs) j.sourceSector = 512;
  const CarrySink nothingCarried = [](Run&, int) { return true; };

  // One pass: every unfinished job copies one block per cycle until a read
  // brings nothing. Returns false when the operator stopped the run.
  auto pass = [&](bool finishing) {
    const std::size_t block = static_cast<std::size_t>(r.BlockSize);
    while (run.FinishedCount < n) {
      placeRescueReads(run, finishing);
      run.startCycle([block](const Run::Job&) { return block; },
                     finishing ? Run::StepSize::OneBlock : Run::StepSize::SeveralBlocks, asRead, m_sv.clock.tickMs());
      if (!endCycle(run, finishing, nothingCarried)) return false;
    }
    return true;
  };

  run.FinishedCount = run.unopenedCount();
  if (!pass(false)) {
    completion(run);
    return;
  }
  r.BlockSize = 512;
  if (rows() > 0) m_sv.ui.setStatusText(1, "Finishing....");
  beginFinishingPass(run);
  if (!pass(true)) {
    completion(run);
    return;
  }
  if (rows() > 0) m_sv.ui.setStatusText(1, "Closing files..");
  completion(run);
}

}  // namespace mdi
