#include "run/RunController.h"

#include <algorithm>
#include <chrono>

#include "jobs/JobList.h"
#include "run/RunInternals.h"

namespace mdi {

RunController::RunController(FormState& form, Services& services, Progress& progress)
    : m_form(form), m_sv(services), m_progress(progress) {}

RunController::~RunController() = default;

void RunController::setStatus(int row, const char* text) { m_form.iGrid2.setValue(row, JobCol::Status, text); }

// ---- run control -----------------------------------------------------------

void RunController::DisableClose(bool disable) { m_sv.ui.setCloseAllowed(!disable); }

void RunController::LockRunControls() {
  m_form.running = true;
  DisableClose(true);
  m_sv.ui.setEnabled(Ctl::Frame1, false);
  m_sv.ui.setEnabled(Ctl::Frame3, false);
  m_form.iGrid2.setAcceptsInput(false);
  m_sv.ui.setEnabled(Ctl::Command1, false);
  m_sv.ui.setEnabled(Ctl::Command2, false);
  m_sv.ui.setEnabled(Ctl::XPButton1, true);
  m_sv.ui.setEnabled(Ctl::Timer1, true);
}

void RunController::UnlockRunControls() {
  DisableClose(false);
  m_sv.ui.setEnabled(Ctl::Frame1, true);
  m_sv.ui.setEnabled(Ctl::Frame3, true);
  m_form.iGrid2.setAcceptsInput(true);
  m_sv.ui.setEnabled(Ctl::Command1, true);
  m_sv.ui.setEnabled(Ctl::Command2, true);
  m_sv.ui.setEnabled(Ctl::XPButton1, false);
  m_sv.ui.setEnabled(Ctl::Timer1, false);
  m_form.running = false;
}

void RunController::StopClicked() {
  const MsgAnswer a = m_sv.msg.show(
      {"Stop the imaging process, are you sure", "Stop process?", MsgIcon::Question, MsgButtons::YesNo, true});
  if (a != MsgAnswer::Yes) return;
  m_form.run.StopRequested = 1;
  ++m_stopsConfirmed;
}

void RunController::ShutdownComputer() {
  if (!m_sv.ui.isChecked(Ctl::Check1)) return;
  m_sv.launcher.startDetached("shutdown", {"-P", "+1"});
  m_sv.ui.setVisible(Ctl::Command6, true);
}

void RunController::AbortShutdownClicked() {
  m_sv.launcher.startDetached("shutdown", {"-c"});
  m_sv.ui.setVisible(Ctl::Command6, false);
}

// ---- every run ---------------------------------------------------------------

void RunController::resetRunState() {
  RunState& r = m_form.run;
  r.StopRequested = 0;
  r.BytesDone = 0;
  r.StartTick = 0;
  r.NowTick = 0;
  r.ElapsedSeconds = 0;
  r.LargestBlocks = Fixed4();
  // A password refused in an earlier run may be given in this one.
  m_sv.drives.beginRun();
}

void RunController::startIo(Run& run) {
  std::vector<CycleIo::Lane> lanes;
  lanes.reserve(run.jobs.size());
  for (auto& j : run.jobs) lanes.push_back({j.source.get(), j.target.get()});
  run.io = m_sv.io.create(std::move(lanes));
  run.steps.assign(run.jobs.size(), CycleIo::Step{});
  // From here a job that never reaches its end was stopped, not "Not imaged".
  for (auto& j : run.jobs) {
    j.started = true;
    if (j.resumed) j.outputCreated = true;
    j.mapSavedTick = m_sv.clock.tickMs();
  }
  startRecords(run);
}

namespace {
// How long the window goes without its events while a cycle runs.
constexpr std::chrono::milliseconds kPatience{20};
}  // namespace

bool RunController::awaitCycle(Run& run) {
  while (!run.io->wait(kPatience)) {
    m_sv.pump.processEventsWhileWaiting();
    if (!run.io) return false;  // Exit closed every file
    if (m_form.run.StopRequested == 1) {
      if (!letStepsEnd(run)) return false;  // Exit, while they ended
      abandonIo(run);
      break;
    }
  }
  return true;
}

bool RunController::endCycle(Run& run, bool finishing, const CarrySink& endOfCarry) {
  if (!awaitCycle(run)) return false;
  settleCycle(run, finishing, endOfCarry);
  if (closeCycle(run, finishing)) return true;
  if (letStepsEnd(run)) settleCycle(run, finishing, endOfCarry);
  return false;
}

bool RunController::letStepsEnd(Run& run) {
  if (!run.io || m_form.run.StopRequested != 1) return false;
  // Long enough for a step of a few MiB from a slow USB disk; a drive that
  // holds a read longer is given up, and Stop still answers within a second.
  constexpr std::chrono::milliseconds kGrace{250};
  const auto until = std::chrono::steady_clock::now() + kGrace;
  auto stepsOut = [&] {
    for (std::size_t i = 0; i < run.jobs.size(); ++i)
      if (run.jobs[i].inFlight && !run.steps[i].completed) return true;
    return false;
  };
  for (auto now = std::chrono::steady_clock::now(); stepsOut() && now < until; now = std::chrono::steady_clock::now()) {
    if (run.io->wait(
            std::min<std::chrono::milliseconds>(kPatience, std::chrono::ceil<std::chrono::milliseconds>(until - now))))
      continue;
    // The window has its events meanwhile, as while any step runs.
    m_sv.pump.processEventsWhileWaiting();
    if (!run.io) return false;  // Exit closed every file
  }
  return true;
}

void RunController::abandonIo(Run& run) {
  if (!run.io) return;
  std::vector<CycleIo::Held> held(run.jobs.size());
  std::vector<bool> hadOutput(run.jobs.size());
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    hadOutput[i] = run.jobs[i].target != nullptr;
    held[i].source = std::move(run.jobs[i].source);
    held[i].output = std::move(run.jobs[i].target);
    held[i].imageLength = static_cast<std::uint64_t>(std::max<std::int64_t>(run.jobs[i].imageLength(), 0));
  }
  run.io->abandon(held);
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    auto& job = run.jobs[i];
    job.source = std::move(held[i].source);
    job.target = std::move(held[i].output);
    if (hadOutput[i] && !job.target) job.outputGivenUp = true;
    else if (run.steps[i].pending && !job.source) job.readGivenUp = true;
    // A block may have been hashed whose write never returned. A read that
    // never returned was never prepared, so nothing of it was hashed.
    if (run.steps[i].pending && !job.readGivenUp) job.outOfOrder = job.hashStale = true;
  }
}

bool RunController::closeCycle(Run& run, bool finishing) {
  RunState& r = m_form.run;
  // The step count of the job furthest behind; once every job has finished
  // the pass, of the one that took the most steps.
  std::int32_t behind = INT32_MAX, most = 0;
  for (const auto& j : run.jobs) {
    if (!j.done) behind = std::min(behind, j.passSteps);
    most = std::max(most, j.passSteps);
  }
  const std::int32_t reached = run.passBase + (behind == INT32_MAX ? most : behind);
  saveRescueMaps(run);
  const std::int32_t now = m_sv.clock.tickMs();
  // The window has its events once a cycle, and at least every 20 ms while
  // a fast job runs steps ahead of a slow one.
  constexpr std::int32_t kPumpMs = 20;
  if (reached <= run.CycleCount && now - run.lastPumpTick < kPumpMs) return r.StopRequested != 1 && run.io;
  // A step may cover several cycles: the read-outs show where it ended.
  if (run.CycleCount < reached) {
    r.BytesDone += static_cast<std::int64_t>(reached - run.CycleCount) * r.BlockSize;
    run.CycleCount = reached;
    if (finishing) m_progress.ShowTailProgress(run.CycleCount);
    else m_progress.ShowBlockProgress(run.CycleCount);
  }
  run.lastPumpTick = now;
  m_sv.pump.processEvents();
  // Exit closes every file from inside the event pump.
  return r.StopRequested != 1 && run.io;
}

}  // namespace mdi
