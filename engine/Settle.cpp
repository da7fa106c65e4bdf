// What a cycle's transfers mean for each job: counting, then judging.
#include <algorithm>
#include <utility>

#include "engine/RunController.h"
#include "engine/RunInternals.h"
#include "jobs/JobList.h"

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
  if (job.reachedEnd) return JobOutcome::Done;
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
    job.done = 0;
    job.passSteps = 0;
    setStatus(i + 1, Status::Finishing);
    if (job.readErrorAt) {
      job.done = 1;
      ++run.FinishedCount;
    }
  }
}

std::optional<std::int64_t> RunController::salvage(Run& run, int i, std::int64_t blockEnd, const SectorSink& sink) {
  auto& job = run.jobs[i];
  const auto step = static_cast<std::uint64_t>(job.sourceSector);
  std::vector<std::byte> buf(step);
  while (job.bytesRead < blockEnd) {
    // Up to the next step boundary first: a failed read may have stopped
    // inside a sector.
    const auto pos = static_cast<std::uint64_t>(job.bytesRead);
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(step - pos % step, static_cast<std::uint64_t>(blockEnd) - pos));
    const IoResult r = job.source->read(std::span(buf.data(), want));
    job.bytesRead += static_cast<std::int64_t>(r.bytes);
    const bool ended = !r.failed() && r.bytes < want;
    if (ended) job.reachedEnd = true;
    if ((r.bytes > 0 || ended) && !sink(run, i, std::span<const std::byte>(buf.data(), r.bytes), ended)) {
      job.writeFailed = true;
      return std::nullopt;
    }
    if (r.failed()) return job.bytesRead;
    if (ended) return std::nullopt;
  }
  return std::nullopt;
}

void RunController::settleCycle(Run& run, bool finishing, const std::function<bool(int)>& writeFailed,
                                const SectorSink& sink) {
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
    const std::int64_t blockStart = job.bytesRead;
    settleStep(run, i, finishing, writeFailed, sink);
    job.passSteps += blocksCovered(job, blockStart);
  }
}

void RunController::settleStep(Run& run, int i, bool finishing, const std::function<bool(int)>& writeFailed,
                               const SectorSink& sink) {
  auto& job = run.jobs[i];
  CycleIo::Step& st = run.steps[i];
  const std::int64_t blockStart = job.bytesRead;
  job.bytesRead += static_cast<std::int64_t>(st.read.bytes);
  if (st.read.bytes > 0) job.bytesWritten += static_cast<std::int64_t>(st.write.bytes);
  job.extraWritten += std::exchange(job.extraPending, 0);

  auto writeError = [&] {
    if (!job.writeFailed) {
      job.imageEnd = job.bytesWritten;
      job.extraEnd = job.extraWritten;
    }
    job.writeFailed = true;
    job.hashStale = true;
    job.done = 1;
    ++run.FinishedCount;
    if (finishing) {
      m_sv.msg.show({"Unable to write to file " + job.outputPath + ".", "Write Error", MsgIcon::Exclamation,
                     MsgButtons::Ok, false});
    } else {
      setStatus(i + 1, Status::WriteError);
    }
  };
  if (writeFailed(i)) {
    writeError();
    return;
  }
  if (st.read.failed()) {
    const auto at = salvage(run, i, blockStart + static_cast<std::int64_t>(st.readLength), sink);
    if (job.writeFailed) {
      writeError();
    } else if (at) {
      job.readErrorAt = at;
      endJob(run, i, finishing);  // the others go on to their ends
    } else if (job.reachedEnd) {
      endJob(run, i, finishing);
    }
    return;  // else the rest of the step read after all: the job goes on
  }
  if (st.read.bytes < st.readLength) job.reachedEnd = true;
  if (st.read.bytes == 0) endJob(run, i, finishing);
}

}  // namespace mdi
