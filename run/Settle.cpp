// What a cycle's transfers mean for each job: counting, then judging.
#include <algorithm>
#include <utility>

#include "jobs/JobList.h"
#include "run/RunController.h"
#include "run/RunInternals.h"
#include "run/StepSize.h"

namespace mdi {

namespace {

// The blocks a settled step stands for, as if they had been read one at a
// time: every block it read into, at least one (a read that found the end
// at once), and none past the block a read error lies in.
std::int32_t blocksCovered(const RunController::Run::Job& job, std::int64_t stepStart) {
  const auto block = static_cast<std::int64_t>(job.block);
  if (block <= 0) return 1;
  if (job.readErrorAt && *job.readErrorAt >= stepStart)
    return static_cast<std::int32_t>((*job.readErrorAt - stepStart) / block + 1);
  const std::int64_t covered = job.bytesRead - stepStart;
  return static_cast<std::int32_t>(std::max<std::int64_t>(1, (covered + block - 1) / block));
}

}  // namespace

JobOutcome outcomeOf(const RunController::Run::Job& job) {
  if (job.writeFailed) return JobOutcome::WriteError;
  if (job.readErrorAt) return JobOutcome::ReadError;
  if (!job.started) return JobOutcome::NotImaged;
  if (job.reachedEnd) return job.rescue && job.rescue->unreadBytes() > 0 ? JobOutcome::Unread : JobOutcome::Done;
  return JobOutcome::Stopped;
}

void RunController::endJob(Run& run, int i, bool finishing) {
  run.jobs[i].done = 1;
  ++run.FinishedCount;
  if (!finishing) setStatus(i + 1, Status::Waiting);
}

void RunController::beginFinishingPass(Run& run) {
  run.FinishedCount = 0;
  run.passBase = run.CycleCount;
  for (int i = 0; i < static_cast<int>(run.jobs.size()); ++i) {
    auto& job = run.jobs[i];
    if (!job.unopened.empty()) {
      ++run.FinishedCount;  // still done
      continue;
    }
    job.done = 0;
    job.passSteps = 0;
    setStatus(i + 1, Status::Finishing);
    if (job.readErrorAt) {
      job.done = 1;
      ++run.FinishedCount;
    }
    // Going past read errors, the finishing pass trims, scrapes and
    // retries what the sweep could not read; a job it left nothing to is
    // at its end.
    if (job.rescue && !job.done) {
      if (job.rescue->phase() == RescuePhase::Finished) {
        job.reachedEnd = true;
        job.done = 1;
        ++run.FinishedCount;
      } else {
        setStatus(i + 1, rescuePhaseText(*job.rescue, run.mutate).c_str());
      }
    }
  }
}

void RunController::failWrite(Run& run, int i, bool finishing) {
  auto& job = run.jobs[i];
  // A job going past read errors writes each area at its place, and its
  // image already holds what its map calls read (an earlier run's too,
  // resumed): it keeps that length, and the area whose write failed stays
  // unread in the map.
  if (!job.writeFailed && !job.rescue) {
    job.imageEnd = job.bytesWritten;
    job.extraEnd = job.extraWritten;
  }
  job.writeFailed = true;
  job.hashStale = true;
  job.reReadEnd.reset();
  job.done = 1;
  ++run.FinishedCount;
  if (finishing) {
    m_sv.msg.show({"Unable to write to file " + job.outputPath + ".", "Write Error", MsgIcon::Exclamation,
                   MsgButtons::Ok, false});
  } else {
    setStatus(i + 1, Status::WriteError);
  }
}

void RunController::settleCycle(Run& run, bool finishing, const CarrySink& endOfCarry) {
  for (int i = 0; i < static_cast<int>(run.jobs.size()); ++i) {
    auto& job = run.jobs[i];
    if (job.done) continue;
    CycleIo::Step& st = run.steps[i];
    // Still out (each job goes at its own pace), or given up by a Stop
    // before its transfer returned: then the job keeps what it copied
    // before, and ends "Stopped".
    if (!st.completed) continue;
    st.completed = false;
    job.inFlight = false;
    // A step and the re-reads after it count together, once they are over.
    if (!job.reReadEnd) job.stepFrom = job.bytesRead;
    settleStep(run, i, finishing, endOfCarry);
    if (!job.reReadEnd && !job.rescue) job.passSteps += blocksCovered(job, job.stepFrom);
  }
}

void RunController::settleStep(Run& run, int i, bool finishing, const CarrySink& endOfCarry) {
  auto& job = run.jobs[i];
  const CycleIo::Step& st = run.steps[i];
  const std::int64_t stepStart = job.bytesRead;
  job.bytesRead += static_cast<std::int64_t>(st.read.bytes);
  if (st.read.bytes > 0) job.bytesWritten += static_cast<std::int64_t>(st.write.bytes);
  job.extraWritten += std::exchange(job.extraPending, 0);
  // The block could not be prepared, or its write fell short of it.
  const bool writeFailed =
      job.prepareFailed || (st.read.bytes > 0 && (st.write.failed() || st.write.bytes != job.prepared));
  if (writeFailed) return failWrite(run, i, finishing);
  if (job.rescue) return settleRescue(run, i, finishing);
  if (job.reReadEnd) return settleReRead(run, i, finishing, endOfCarry);
  if (st.read.failed()) {
    // The rest of the piece it failed in is re-read sector by sector, each
    // on its own step, so a drive that hangs on one holds up neither the
    // window nor the other jobs; the pieces after it were never read, and
    // the next steps read them as usual.
    const auto length = static_cast<std::int64_t>(st.readLength);
    const auto piece = static_cast<std::int64_t>(st.pieceLength);  // 0: the step is one piece
    const std::int64_t into = job.bytesRead - stepStart;
    const std::int64_t end = stepStart + (piece > 0 ? std::min(length, (into / piece + 1) * piece) : length);
    if (job.bytesRead < end) job.reReadEnd = end;
    return;
  }
  if (st.read.bytes < st.readLength) job.reachedEnd = true;
  if (st.read.bytes == 0) endJob(run, i, finishing);
  // A whole main-pass step: how long it took sets the length of the next.
  if (st.pieceLength > 0 && st.read.bytes == st.readLength)
    job.stepPieces = nextStepPieces(job.stepPieces, m_sv.clock.tickMs() - job.stepStartedTick);
}

void RunController::settleReRead(Run& run, int i, bool finishing, const CarrySink& endOfCarry) {
  auto& job = run.jobs[i];
  const CycleIo::Step& st = run.steps[i];
  if (st.read.failed()) {
    job.readErrorAt = job.bytesRead;
    job.reReadEnd.reset();
    endJob(run, i, finishing);  // the others go on to their ends
    return;
  }
  if (st.read.bytes < st.readLength) {
    job.reachedEnd = true;
    job.reReadEnd.reset();
    // Nothing came to finish a sector begun before the failed read: it goes
    // out as the source's partial last sector.
    if (st.read.bytes == 0 && !endOfCarry(run, i)) return failWrite(run, i, finishing);
    endJob(run, i, finishing);
    return;
  }
  // The rest of the failed step read after all: the job goes on.
  if (job.bytesRead >= *job.reReadEnd) job.reReadEnd.reset();
}

}  // namespace mdi
