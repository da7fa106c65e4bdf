// A job that goes past read errors: each step reads what its plan says
// next, wherever that is, and the image is written at the same place.
#include <algorithm>
#include <cerrno>

#include "run/RunController.h"
#include "run/RunInternals.h"

namespace mdi {

namespace {

// What a drive answers for sectors it cannot read (EIO for a medium error
// through the block layer, the rest from pass-through and some drivers).
bool isMediaError(int error) {
  return error == EIO || error == ENODATA || error == EILSEQ || error == EBADMSG || error == EREMOTEIO ||
         error == ETIMEDOUT;
}

}  // namespace

std::string rescuePhaseText(const RescuePlan& plan, bool mutate) {
  switch (plan.phase()) {
    case RescuePhase::Sweep:
      return mutate ? Status::ImagingMutate : Status::Imaging;
    case RescuePhase::Trim:
      return Status::Trimming;
    case RescuePhase::Scrape:
      return Status::Scraping;
    case RescuePhase::Retry:
      return std::string(Status::Retrying) + " " + std::to_string(plan.pass()) + " of " +
             std::to_string(plan.retryPasses());
    case RescuePhase::Finished:
      break;
  }
  return Status::Finishing;
}

void RunController::placeRescueReads(Run& run, bool finishing) {
  for (int i = 0; i < static_cast<int>(run.jobs.size()); ++i) {
    auto& job = run.jobs[i];
    if (!job.rescue || job.done || job.inFlight) continue;
    const auto read = job.rescue->next();
    if (!read) {
      job.reachedEnd = true;
      endJob(run, i, finishing);
      continue;
    }
    job.rescueRead = *read;
    if (read->pos == static_cast<std::uint64_t>(job.bytesRead) && !job.outOfOrder) continue;
    // Away from where the last read ended: the source, the image and its
    // .extra move to the read's place. None of these waits on a drive.
    if (!job.source->seek(read->pos)) {
      // A source that reads only front to back cannot be read around an
      // error: the job ends at it, as it would without going past.
      job.readErrorAt = static_cast<std::int64_t>(std::min(read->pos, job.rescue->map().sourceSize()));
      for (const MapBlock& b : job.rescue->map().blocks()) {
        if (b.status == MapStatus::Finished) continue;
        job.readErrorAt = static_cast<std::int64_t>(b.pos);
        break;
      }
      job.rescue.reset();
      endJob(run, i, finishing);
      continue;
    }
    const LayoutSplit at = job.placeOf(read->pos);
    if (job.target->seek(at.imageBytes) != 0 || (job.extra && job.extra->seek(at.extraBytes) != 0)) {
      failWrite(run, i, finishing);
      continue;
    }
    if (job.conversion) job.conversion->restartAt(read->pos);
    job.bytesRead = static_cast<std::int64_t>(read->pos);
    job.outOfOrder = true;
    job.hashStale = true;
  }
}

void RunController::settleRescue(Run& run, int i, bool finishing) {
  auto& job = run.jobs[i];
  const CycleIo::Step& st = run.steps[i];
  const RescuePhase before = job.rescue->phase();
  const int passBefore = job.rescue->pass();
  job.rescue->settle(job.rescueRead, st.read.bytes, st.read.failed());
  // From the first failure on, the image gets zeros no read brought, and
  // bytes out of the source's order: its digests come from reading it back.
  if (st.read.failed()) job.outOfOrder = job.hashStale = true;
  // Resumed without going past read errors, the first failure ends the job
  // there, as it would have the first time; and so does a failure that
  // says the source is not there (not opened, gone) rather than that a
  // sector could not be read: reading around it would only fail again at
  // every sector of the source.
  if (st.read.failed() && (!run.options.goPastErrors || !isMediaError(st.read.error))) {
    const std::uint64_t grain = job.rescueSettings.grain;
    job.readErrorAt = static_cast<std::int64_t>(job.rescueRead.pos + st.read.bytes / grain * grain);
    return endJob(run, i, finishing);
  }
  // The sweep counts in the progress as the blocks of the source it has
  // tried, a partial last block too, as the copy without going past errors
  // counts it; every later read as one step.
  if (before == RescuePhase::Sweep && job.block > 0) {
    const std::uint64_t tried = job.rescue->map().sourceSize() - job.rescue->map().bytesWith(MapStatus::NonTried);
    job.passSteps = std::max(job.passSteps, static_cast<std::int32_t>((tried + job.block - 1) / job.block));
  } else {
    ++job.passSteps;
  }
  // Looks ahead, so a pass that has just ended shows the next one.
  const auto next = job.rescue->next();
  const RescuePhase now = job.rescue->phase();
  if (!next) {
    job.reachedEnd = true;
    return endJob(run, i, finishing);
  }
  if (!finishing && now != RescuePhase::Sweep) return endJob(run, i, finishing);
  if (finishing && (now != before || job.rescue->pass() != passBefore))
    setStatus(i + 1, rescuePhaseText(*job.rescue, run.mutate).c_str());
}

void RunController::saveRescueMaps(Run& run) {
  constexpr std::int32_t kEveryMs = 30000;
  const std::int32_t now = m_sv.clock.tickMs();
  for (int i = 0; i < static_cast<int>(run.jobs.size()); ++i) {
    auto& job = run.jobs[i];
    if (!job.rescue || !job.target || now - job.mapSavedTick < kEveryMs) continue;
    // One save at a time: a target slow to flush holds back only its own
    // next save. A save that fails is left to the one at the end, whose
    // outcome the job's status tells.
    if (job.mapSaving && !job.mapSaving->wait(std::chrono::milliseconds(0))) continue;
    job.mapSavedTick = now;
    // Settled steps only: every byte the map calls read has been written.
    std::vector<std::function<int()>> flush{job.target->flusher()};
    if (job.extra) flush.push_back(job.extra->flusher());
    job.mapSaving = std::make_shared<Aside<int>>([flush = std::move(flush), records = &m_sv.records,
                                                  path = job.outputPath + ".map", text = rescueMapTextOf(run, i)] {
      for (const auto& f : flush)
        if (const int err = f ? f() : 0; err != 0) return err;
      return records->write(path, text);
    });
  }
}

}  // namespace mdi
