#pragma once
// The run: what the Run, Stop, Abort Shutdown buttons and the window's
// Exit do. One object per window, holding nothing beyond the window's
// FormState and the services it was handed.
#include <functional>
#include <memory>

#include "jobs/FormState.h"
#include "platform/CycleIo.h"
#include "platform/Services.h"
#include "progress/Progress.h"

namespace mdi {

class RunController {
 public:
  RunController(FormState& form, Services& services, Progress& progress);
  ~RunController();
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Command2 ("Run"). Returns when the run has ended or a check stopped it.
  void RunClicked();
  // XPButton1 ("Stop"): asks, and on Yes the run stops after its cycle.
  void StopClicked();
  // Command3 / end of a run with "Turn off computer on completion" ticked.
  void ShutdownComputer();
  // Command6 ("Abort Shutdown").
  void AbortShutdownClicked();
  // Exit while a run is going: syncs and closes every open file at once.
  void closeAllFiles();
  bool running() const { return m_form.running; }

  void LockRunControls();
  void UnlockRunControls();
  void DisableClose(bool disable);

 private:
  friend struct ActiveRunScope;
  struct Run;
  void RunMutateImaging();
  // Sets up the run's I/O over every job's files, once they are open.
  void startIo(Run& run);
  // Applies a cycle's outcomes job by job, in order: a failed write ends the
  // job (status, or a message box in the finishing pass), a read that
  // brought nothing or failed ends its pass. writeFailed(i) tells whether
  // job i's write fell short; it is asked once per unfinished job.
  void settleCycle(Run& run, bool finishing, const std::function<bool(int)>& writeFailed);
  // Counts the cycle, shows progress and runs the event pump. False when the
  // run must stop: the operator stopped it, or Exit closed its files.
  bool closeCycle(Run& run, bool finishing);
  void straightLoop(Run& run);
  void mutateLoop(Run& run);
  // Closes every file, sets the final statuses, unlocks, reports and
  // applies the shutdown option. Every way out of a started run ends here.
  void completion(Run& run);
  void setStatus(int row, const char* text);
  void resetRunState();
  // Names job i's output, asks before overwriting an existing file, and
  // opens the source and creates the output. False: the operator declined.
  bool openJob(Run& run, int i);
  void closeJobFiles(Run& run);
  FormState& m_form;
  Services& m_sv;
  Progress& m_progress;
  Run* m_active = nullptr;  // the run in progress, owned by RunClicked's frame
};

}  // namespace mdi
