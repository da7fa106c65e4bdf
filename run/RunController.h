#pragma once
// The run: what the Run, Stop, Abort Shutdown buttons and the window's
// Exit do. One object per window, holding nothing beyond the window's
// FormState and the services it was handed.
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

 public:
  struct Run;

 private:
  void RunMutateImaging();
  // Runs checks before a run with their file-system and drive questions
  // asked off the window's thread (AsideQuestions.h). False when the
  // checks refused (after their message) or a Stop gave them up.
  bool passes(const std::function<bool(class RunChecks&)>& check);
  // Sets up the run's I/O over every job's files, once they are open.
  void startIo(Run& run);
  // Writes what a job carries, the start of a sector begun before a failed
  // read, once a re-read finds its source's end with nothing more: nothing
  // for a straight copy (which never carries), the source's partial last
  // sector for mutate. False when the write failed. Counts what it wrote.
  using CarrySink = std::function<bool(Run& run, int job)>;
  // Applies a cycle's outcomes job by job, in order: counts what each job
  // read and wrote; a failed write ends the job (status, or a message box
  // in the finishing pass); a failed read is followed by re-reads of the
  // rest of its step sector by sector, a step each, and ends the job at
  // its first unreadable byte; a read that brought nothing ends its pass.
  void settleCycle(Run& run, bool finishing, const CarrySink& endOfCarry);
  // One job's completed step: its bytes counted, then judged.
  void settleStep(Run& run, int i, bool finishing, const CarrySink& endOfCarry);
  // Ends the job on a failed write: its status, or in the finishing pass a
  // message box.
  void failWrite(Run& run, int i, bool finishing);
  // A re-read's outcome: the job's first unreadable byte, its end, or the
  // rest of the failed step read after all.
  void settleReRead(Run& run, int i, bool finishing, const CarrySink& endOfCarry);
  // Every job takes part in the finishing pass again, but for those a read
  // error ended: re-reading a failing sector only wears the disk.
  void beginFinishingPass(Run& run);
  // Going past read errors: places each such job's next read (source and
  // outputs moved to it) before a cycle starts; a job with nothing left
  // to read is at its end.
  void placeRescueReads(Run& run, bool finishing);
  // Such a job's step: its map updated and its pass shown; the sweep ends
  // the job's main pass, the passes after it run in the finishing pass.
  void settleRescue(Run& run, int i, bool finishing);
  // Every 30 s, each such job's map goes to disk beside its image, aside:
  // the image flushed first, so the map never claims more than the image
  // holds on the medium, whatever happens to the machine.
  void saveRescueMaps(Run& run);
  // The map text of job i as it stands, and the head of any map of it:
  // what the map was made of, for going on from it later.
  std::string rescueMapTextOf(const Run& run, int i) const;
  struct MapHeader mapHeaderOf(const Run& run, int i) const;
  void endJob(Run& run, int i, bool finishing);
  // Opens the hash streams of every job as its copy begins.
  void startRecords(Run& run);
  // Once every file is closed: the digests, verify when asked, and the
  // files beside each image this run created (checksums, the log, and for
  // a job that did not reach its end the rescue map). A record that cannot
  // be written makes its job a write error.
  void recordJobs(Run& run);
  // Counts the cycle, shows progress and runs the event pump. False when the
  // run must stop: the operator stopped it, or Exit closed its files.
  bool closeCycle(Run& run, bool finishing);
  // Waits for the cycle started on run.io, keeping the window's events going
  // while a drive takes its time. A confirmed Stop gives the cycle up once
  // its steps have had their moment to end (letStepsEnd): jobs whose
  // transfers have not returned by then keep what they copied before and
  // are settled no further. False when Exit closed the run's files.
  bool awaitCycle(Run& run);
  // The rest of a cycle once started: waited for, settled, then counted and
  // shown. After a Stop the steps still out have their moment to end, and
  // those that do are settled too. False when the run must stop.
  bool endCycle(Run& run, bool finishing, const CarrySink& endOfCarry);
  // After a confirmed Stop: waits a moment, keeping the window's events
  // going, for the steps still out to end, so that a healthy drive's step
  // is counted and kept rather than given up (and its image read back for
  // the record). True when there are steps to settle: not after Exit,
  // which may come in that moment.
  bool letStepsEnd(Run& run);
  // Gives up whatever run.io still has out (see CycleIo::abandon); the
  // files a transfer still uses are handed to it.
  void abandonIo(Run& run);
  // The T10 protection type job `row`'s drive reported; 0 for an image
  // file or a drive that reports none.
  int protectionTypeOf(int row) const;
  // The logical sector size job `row`'s drive (or block device added as a
  // file) reports: what a straight job going past read errors reads at
  // once in trim, scrape and retry, since the drive cannot read less.
  // 512 for an image file, or a drive that does not say.
  std::uint64_t logicalSectorOf(int row) const;
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
  // Resume: checks that job i may go on from the map and record beside its
  // image (a refusal says why, naming the file, and changes nothing), then
  // opens its source and its existing files as they are. False when it
  // may not, or a Stop came first.
  bool resumeJob(Run& run, int i);
  // Runs `work` on an output off the window's thread (filesAside), handing
  // the output to it and taking it back; given up (a Stop while the target
  // holds it), the work keeps the output and closes it when it ends.
  template <class R>
  std::optional<R> onOutput(Run& run, std::unique_ptr<Output>& out, std::function<R(std::unique_ptr<Output>&)> work);
  // Cuts every output to what was copied, syncs and closes it, off the
  // window's thread; an output whose close has not returned when the run
  // gives up on it (a Stop meanwhile, or Exit's time) is a write error.
  void closeJobFiles(Run& run);
  // Waits, keeping the window's events, for every job's files to close;
  // a Stop confirmed meanwhile, or Exit's time, gives up the rest.
  void awaitCloses(Run& run);
  FormState& m_form;
  Services& m_sv;
  Progress& m_progress;
  Run* m_active = nullptr;  // the run in progress, owned by RunClicked's frame
  // Stops confirmed so far: work that runs after the copy (reading back to
  // verify) gives way to a Stop confirmed while it runs, also when the run
  // was stopped before.
  std::uint64_t m_stopsConfirmed = 0;
};

}  // namespace mdi
