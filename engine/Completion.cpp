// Every way out of a started run ends here: files cut to what was copied,
// synced and closed, one status per job from its outcome, the window
// unlocked, and the shutdown option applied.
#include "engine/RunController.h"
#include "engine/RunInternals.h"
#include "jobs/JobList.h"

namespace mdi {

std::string statusTextOf(const RunController::Run::Job& job, const Separators& sep) {
  switch (outcomeOf(job)) {
    case JobOutcome::WriteError:
      return Status::WriteError;
    case JobOutcome::ReadError:
      return std::string(Status::ReadError) + " at byte " + formatGrouped(*job.readErrorAt, sep);
    case JobOutcome::NotImaged:
      return Status::NotImaged;
    case JobOutcome::Stopped:
      return Status::Stopped;
    case JobOutcome::Done:
      break;
  }
  if (job.verifyText == "Verify failed") return job.verifyText;
  std::string text = Status::Done;
  if (!job.verifyText.empty()) text += " " + job.verifyText;
  if (job.conversion && job.conversion->pi()) text += job.conversion->pi()->statusSuffix();
  return text;
}

void RunController::closeAllFiles() {
  if (!m_active) return;
  m_active->closedByExit = true;
  closeJobFiles(*m_active);
  // The process ends once this returns: every job that began gets its
  // record now, as a Stop would leave it, without reading anything back.
  recordJobs(*m_active);
}

void RunController::closeJobFiles(Run& run) {
  // Nothing may be in flight on a file that is about to close: a transfer
  // that has not returned keeps the files it uses, the rest close here.
  abandonIo(run);
  run.io.reset();
  for (auto& j : run.jobs) {
    if (j.target) {
      // An output is exactly what was copied into it: a pre-sized image cut
      // short by a stop, a read error or Exit must not pass for a whole one.
      if (j.target->resize(static_cast<std::uint64_t>(j.imageLength())) != 0 && j.started) j.writeFailed = true;
      if (j.target->close() != 0) j.writeFailed = true;
    }
    if (j.extra) {
      // The .extra holds the left-out bytes of exactly the source the image
      // holds, so the two rebuild that source.
      if (j.extra->resize(static_cast<std::uint64_t>(j.extraLength())) != 0) j.writeFailed = true;
      if (j.extra->close() != 0) j.writeFailed = true;
    }
    j.extra.reset();
    j.target.reset();
    j.source.reset();
  }
}

void RunController::completion(Run& run) {
  closeJobFiles(run);
  recordJobs(run);
  const Separators sep = m_sv.locale.separators();
  for (std::size_t i = 0; i < run.jobs.size(); ++i)
    m_form.iGrid2.setValue(static_cast<int>(i) + 1, JobCol::Status, statusTextOf(run.jobs[i], sep));
  UnlockRunControls();
  const bool stopped = m_form.run.StopRequested == 1;
  if (m_form.iGrid2.rowCount() > 0) m_sv.ui.setStatusText(1, "Process Complete");
  if (stopped) m_sv.ui.setStatusText(1, "Process stopped by user");
  m_progress.HideRunProgressBar();
  if (stopped) m_sv.ui.setChecked(Ctl::Check1, false);
  if (m_sv.ui.isChecked(Ctl::Check1)) ShutdownComputer();
}

}  // namespace mdi
