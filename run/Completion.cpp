// Every way out of a started run ends here: files cut to what was copied,
// synced and closed, one status per job from its outcome, the window
// unlocked, and the shutdown option applied.
#include <chrono>

#include "jobs/JobList.h"
#include "platform/Aside.h"
#include "run/RunController.h"
#include "run/RunInternals.h"

namespace mdi {

namespace {

// Writes zeros over [from, to) of an output; true when there was nothing
// to write or every byte was written.
bool zeroOut(Output* out, std::uint64_t from, std::uint64_t to) {
  if (!out || from >= to) return true;
  static const std::vector<std::byte> kZeros(64 * 1024);
  if (out->seek(from) != 0) return false;
  for (std::uint64_t at = from; at < to;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kZeros.size(), to - at));
    const IoResult w = out->write(std::span<const std::byte>(kZeros.data(), n));
    if (w.failed() || w.bytes != n) return false;
    at += n;
  }
  return true;
}

}  // namespace

std::string statusTextOf(const RunController::Run::Job& job, const Separators& sep) {
  if (!job.unopened.empty()) return std::string(Status::NotImaged) + ": " + job.unopened;
  switch (outcomeOf(job)) {
    case JobOutcome::WriteError:
      return Status::WriteError;
    case JobOutcome::ReadError:
      return std::string(Status::ReadError) + " at byte " + formatGrouped(*job.readErrorAt, sep);
    case JobOutcome::NotImaged:
      return Status::NotImaged;
    case JobOutcome::Unread:
      return std::string(Status::ReadErrors) + " " +
             formatGrouped(static_cast<std::int64_t>(job.rescue->unreadBytes()), sep) + " bytes unread";
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
  // Exit ends the program within two seconds whatever a drive or target is
  // doing: what has not been closed or recorded by then is left as it is.
  using std::chrono::milliseconds;
  m_active->exitBy = std::chrono::steady_clock::now() + milliseconds(1000);
  closeJobFiles(*m_active);
  // The process ends once this returns: every job that began gets its
  // record now, as a Stop would leave it, without reading anything back.
  m_active->exitBy = std::chrono::steady_clock::now() + milliseconds(800);
  recordJobs(*m_active);
}

void RunController::closeJobFiles(Run& run) {
  // Nothing may be in flight on a file that is about to close: a transfer
  // that has not returned keeps the files it uses, the rest close here.
  abandonIo(run);
  run.io.reset();
  // A step that ended after the run last counted (while the window had its
  // events) was hashed though its block is cut off again: the image is
  // hashed as it is left, and what passed of the source is no digest of it.
  for (std::size_t i = 0; i < run.steps.size() && i < run.jobs.size(); ++i)
    if (run.steps[i].completed) run.jobs[i].outOfOrder = run.jobs[i].hashStale = true;
  struct Closing {
    std::unique_ptr<Source> source;
    std::unique_ptr<Output> target, extra;
    std::uint64_t imageLength = 0, extraLength = 0;
    bool started = false;
    // A resumed image's places of sectors still unread, which an earlier
    // run may have left bytes in: zeros, as in an image made in one go.
    std::vector<LayoutSplit> zeroFrom, zeroTo;
  };
  // Each job's files close on a thread of their own: one target that hangs
  // in its sync holds up no other job's.
  for (auto& j : run.jobs) {
    if (!j.source && !j.target && !j.extra) continue;
    j.closingOutput = j.target != nullptr;
    auto c = std::make_shared<Closing>(Closing{std::move(j.source),
                                               std::move(j.target),
                                               std::move(j.extra),
                                               static_cast<std::uint64_t>(j.imageLength()),
                                               static_cast<std::uint64_t>(j.extraLength()),
                                               j.started,
                                               {},
                                               {}});
    if (j.resumed && j.started && j.rescue && !j.writeFailed) {
      for (const MapBlock& b : j.rescue->map().blocks()) {
        if (b.status == MapStatus::Finished || b.status == MapStatus::NonTried) continue;
        c->zeroFrom.push_back(j.placeOf(b.pos));
        c->zeroTo.push_back(j.placeOf(b.pos + b.size));
      }
    }
    j.closing = std::make_shared<Aside<bool>>([c] {
      // An output is exactly what was copied into it: a pre-sized image cut
      // short by a stop, a read error or Exit must not pass for a whole
      // one. The .extra holds the left-out bytes of exactly the source the
      // image holds, so the two rebuild that source.
      bool failed = false;
      for (std::size_t k = 0; k < c->zeroFrom.size(); ++k) {
        if (!zeroOut(c->target.get(), c->zeroFrom[k].imageBytes, c->zeroTo[k].imageBytes) ||
            !zeroOut(c->extra.get(), c->zeroFrom[k].extraBytes, c->zeroTo[k].extraBytes))
          failed = true;
      }
      if (c->target && c->target->resize(c->imageLength) != 0 && c->started) failed = true;
      if (c->target && c->target->close() != 0) failed = true;
      if (c->extra && (c->extra->resize(c->extraLength) != 0 || c->extra->close() != 0)) failed = true;
      *c = Closing{};
      return failed;
    });
  }
  awaitCloses(run);
}

void RunController::awaitCloses(Run& run) {
  const std::uint64_t stopsBefore = m_stopsConfirmed;
  // Takes in every close that has returned, waiting a little on the first
  // still out; true when none is out.
  auto collect = [&](std::chrono::milliseconds patience) {
    bool all = true;
    for (auto& j : run.jobs) {
      if (!j.closing) continue;
      const auto failed = j.closing->wait(all ? patience : std::chrono::milliseconds(0));
      if (!failed) {
        all = false;
        continue;
      }
      if (*failed) j.writeFailed = j.closeFailed = true;
      j.closing.reset();
    }
    return all;
  };
  while (!collect(std::chrono::milliseconds(20))) {
    if (run.closedByExit) {
      // Exit's time, without the window's events.
      if (std::chrono::steady_clock::now() >= run.exitBy) break;
      continue;
    }
    m_sv.pump.processEventsWhileWaiting();
    if (m_stopsConfirmed != stopsBefore) break;
  }
  // Given up before its close returned: the image is not known to be on disk.
  for (auto& j : run.jobs) {
    if (!j.closing) continue;
    if (j.closingOutput && j.started) j.writeFailed = j.closeFailed = true;
    j.closing.reset();
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
  // A run ended by Exit did not end: the program was closed under it. Exit
  // ends the process once the files are closed, and should this run still
  // come to its end meanwhile, the computer stays on.
  if (m_sv.ui.isChecked(Ctl::Check1) && !run.closedByExit) ShutdownComputer();
}

}  // namespace mdi
