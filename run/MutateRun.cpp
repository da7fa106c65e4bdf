// The sector-mutate run: the same checks and files as the straight run, but
// every block goes through the sector conversion, blocks are sized per job
// from its sector sizes, and outputs start empty and grow with the data.
#include <cmath>
#include <utility>

#include "convert/MutateSizes.h"
#include "jobs/JobList.h"
#include "run/RunChecks.h"
#include "run/RunController.h"
#include "run/RunInternals.h"
#include "run/StepSize.h"
#include "support/Val.h"

namespace mdi {

void RunController::RunMutateImaging() {
  RunState& r = m_form.run;
  GridModel& grid = m_form.iGrid2;
  resetRunState();
  if (!RunChecks(m_form, m_sv).targetChosen()) return;
  LockRunControls();  // while checking, as the straight run does
  if (!passes([](RunChecks& c) { return c.beforeOpening(true); })) {
    UnlockRunControls();
    return;
  }
  // A pair of sizes that gives no usable block is refused like every other
  // refusal, before anything is asked or opened.
  for (int row = 1; row <= grid.rowCount(); ++row) {
    const auto [s, t] = jobSectorSizes(grid, row);
    if (!computeMutateSizes(s, t)) {
      m_sv.msg.show({"The sector sizes of job " + jobLabel(grid, row) + " (" + std::to_string(s) + " in, " +
                         std::to_string(t) + " out) cannot be converted.",
                     "Error", MsgIcon::Exclamation, MsgButtons::Ok, false});
      UnlockRunControls();
      return;
    }
  }
  if (!passes([](RunChecks& c) { return c.freeSpaceAccepted(true); })) {
    UnlockRunControls();
    return;
  }
  const int n = grid.rowCount();
  Run run;
  run.mutate = true;
  run.options = m_form.Options;
  run.jobs.resize(static_cast<std::size_t>(n));
  ActiveRunScope active(m_active, run);

  m_form.OutputBlockSize = kOutputBlockSize;
  int largestIndex = 0;
  for (int i = 0; i < n; ++i) {
    const int row = i + 1;
    auto& job = run.jobs[i];
    const Fixed4 size = ValFixed(grid.value(row, JobCol::SizeI));
    if (size > r.LargestBlocks) {
      r.LargestBlocks = size;
      largestIndex = i;
    }
    job.sourceSize = size.intPart();
    job.sourceSector = static_cast<std::int32_t>(*roundHalfEven(Val(grid.value(row, JobCol::SectorIn)), 1, 65536));
    job.targetSector = static_cast<std::int32_t>(*roundHalfEven(Val(grid.value(row, JobCol::SectorOut)), 1, 65536));
    const auto sizes = computeMutateSizes(job.sourceSector, job.targetSector, m_form.OutputBlockSize);
    job.readSize = sizes->readSize;
    job.writeSize = sizes->writeSize;
    job.conversion.emplace(run.options.layout, job.sourceSector, job.targetSector, protectionTypeOf(row));
    const auto block = static_cast<std::size_t>(job.readSize);
    job.block = block;
    job.rescueSettings = {static_cast<std::uint64_t>(job.sourceSector), kSweepBlock, run.options.retryPasses};
    if (run.options.goPastErrors)
      job.rescue = std::make_unique<RescuePlan>(static_cast<std::uint64_t>(std::max<std::int64_t>(job.sourceSize, 0)),
                                                job.rescueSettings);
  }
  r.BlockSize = 2 * static_cast<std::int64_t>(m_form.OutputBlockSize);
  r.LargestBlocks = r.LargestBlocks.dividedBy(m_form.OutputBlockSize);
  if (!passes([](RunChecks& c) { return !c.targetIsASource(); })) {
    UnlockRunControls();
    return;
  }
  m_progress.ShowRunProgressBar();
  r.TotalBytes = 2 * (r.LargestBlocks.intPart() + 1) * run.jobs[largestIndex].readSize;

  // Outputs start empty: a mutate image grows with the converted data.
  bool declined = false;
  for (int i = 0; i < n && !declined; ++i) {
    declined = !openJob(run, i);
    if (!declined && run.jobs[i].unopened.empty()) setStatus(i + 1, Status::ImagingMutate);
  }
  if (!declined) mutateLoop(run);

  // No-data check: a job that copied nothing (or a run that never got to
  // copy) is reported once, before the files are closed. A job that could
  // not be opened says why in its own status.
  const bool anyOpened = run.unopenedCount() < n;
  bool nothingCopied = anyOpened && run.CycleCount == 0;
  for (const auto& j : run.jobs) nothingCopied = nothingCopied || (j.unopened.empty() && j.bytesWritten == 0);
  if (nothingCopied) {
    const bool sizing = m_sv.ui.isChecked(Ctl::Check2) && !m_sv.ui.isChecked(Ctl::Check4);
    m_sv.msg.show({sizing ? "No data was copied, there may be a problem with sector sizing. Try again with Force read "
                            "option set (if available)"
                          : "There may be a problem with the drive as data could not be copied.",
                   "Error", MsgIcon::Information, MsgButtons::Ok, false});
  }
  if (grid.rowCount() > 0) m_sv.ui.setStatusText(1, "Closing files..");
  completion(run);
}

namespace {

// Writes the .extra bytes of the job's last converted block, and counts
// them as pending until the cycle settles. False when they were not all
// written.
bool writeExtra(RunController::Run& run, std::size_t lane) {
  auto& job = run.jobs[lane];
  const auto bytes = job.conversion->extra();
  if (!job.extra || bytes.empty()) return true;
  const IoResult w = job.extra->write(bytes);
  job.extraPending += static_cast<std::int64_t>(w.bytes);
  run.hashExtra(lane, bytes.first(w.bytes));
  return !w.failed() && w.bytes == bytes.size();
}

}  // namespace

int RunController::protectionTypeOf(int row) const {
  const auto src = jobSource(m_form.iGrid2, row);
  if (!src || src->isFile) return 0;
  const auto rec = m_sv.drives.listedRecord(src->drive);
  return rec ? rec->protectionType : 0;
}

std::uint64_t RunController::logicalSectorOf(int row) const {
  const auto src = jobSource(m_form.iGrid2, row);
  std::uint64_t size = 0;
  if (src && !src->isFile) {
    if (const auto rec = m_sv.drives.listedRecord(src->drive)) size = rec->bytesPerSector;
  } else if (src) {
    if (const auto dev = m_form.ListedDevices.find(src->path); dev != m_form.ListedDevices.end())
      size = dev->second.logicalSectorSize;
  }
  // A power of two the kernel would take, else the common 512.
  return size >= 512 && size <= 65536 && (size & (size - 1)) == 0 ? size : 512;
}

void RunController::mutateLoop(Run& run) {
  RunState& r = m_form.run;
  const int n = static_cast<int>(run.jobs.size());
  startIo(run);
  m_sv.ui.setStatusText(1, m_form.iGrid2.rowCount() > 1 ? "Creating images" : "Creating image");
  r.StartTick = m_sv.clock.tickMs();
  run.CycleCount = 0;

  // Converts what a job read: only the bytes read are converted, and all
  // of the converted bytes are written. Reads are whole source sectors, so
  // every block converts from a sector boundary. Each job converts into its
  // own buffers, so every job's write can be in flight at once; the bytes
  // the image leaves out go to its .extra here, before the image write. A
  // failed read converts only its whole sectors and keeps the start of the
  // next for the re-reads that follow, which gather it into a whole sector
  // (or the source's partial last one) before it is converted.
  bool finishing = false;
  const CycleIo::Prepare convert = [&](std::size_t lane, std::span<const std::byte> data) {
    auto& job = run.jobs[lane];
    const CycleIo::Step& st = run.steps[lane];
    run.hashSource(lane, data, st.readOwner);
    const bool reRead = job.reReadEnd.has_value();
    if (reRead) {
      job.carry.insert(job.carry.end(), data.begin(), data.end());
      const bool last = !st.read.failed() && data.size() < st.readLength;
      if (job.carry.size() < static_cast<std::size_t>(job.sourceSector) && !last) {
        job.prepared = 0;
        return std::span<const std::byte>{};
      }
      data = job.carry;
    } else if (st.read.failed()) {
      const std::size_t whole = data.size() / static_cast<std::size_t>(job.sourceSector) * job.sourceSector;
      // Going past read errors, the sector the read failed in is read
      // again, on its own, later.
      if (!job.rescue) job.carry.assign(data.begin() + static_cast<long>(whole), data.end());
      data = data.first(whole);
    }
    if (!job.conversion->convert(data) || !writeExtra(run, lane)) {
      job.prepareFailed = true;
      run.steps[lane].endsHere = true;
    }
    if (reRead) job.carry.clear();
    run.hashImage(lane, job.conversion->image());
    run.steps[lane].keep = job.conversion->imageOwner();
    job.prepared += job.conversion->image().size();
    return job.conversion->image();
  };
  // The start of a sector a re-read found no more of: converted as the
  // source's partial last sector and written.
  const CarrySink lastPartialSector = [](Run& run, int i) {
    auto& job = run.jobs[i];
    const auto lane = static_cast<std::size_t>(i);
    if (job.carry.empty()) return true;
    const bool converted = job.conversion->convert(job.carry);
    job.carry.clear();
    const bool extraWritten = converted && writeExtra(run, lane);
    job.extraWritten += std::exchange(job.extraPending, 0);
    const auto image = job.conversion->image();
    const IoResult w = job.target->write(image);
    job.bytesWritten += static_cast<std::int64_t>(w.bytes);
    run.hashImage(lane, image.first(w.bytes));
    return extraWritten && !w.failed() && w.bytes == image.size();
  };
  auto pass = [&](auto blockLength) {
    while (run.FinishedCount < n) {
      placeRescueReads(run, finishing);
      run.startCycle(blockLength, finishing ? Run::StepSize::OneBlock : Run::StepSize::SeveralBlocks, convert,
                     m_sv.clock.tickMs());
      if (!endCycle(run, finishing, lastPartialSector)) return false;
    }
    return true;
  };

  run.FinishedCount = run.unopenedCount();
  if (!pass([](const Run::Job& j) { return static_cast<std::size_t>(j.readSize); })) return;

  // Finishing pass: one source sector at a time from where each job stopped.
  finishing = true;
  r.BlockSize = 512;
  m_sv.ui.setStatusText(1, "Finishi");
  beginFinishingPass(run);
  pass([](const Run::Job& j) { return static_cast<std::size_t>(j.sourceSector); });
}

}  // namespace mdi
