// Between Run and the first block: the checks, asked off the window's
// thread, and each job's files opened the same way, with the overwrite
// question between.
#include <atomic>
#include <ranges>

#include "jobs/JobList.h"
#include "record/SideFiles.h"
#include "run/AsideQuestions.h"
#include "run/ResumeCheck.h"
#include "run/RunChecks.h"
#include "run/RunController.h"
#include "run/RunInternals.h"

namespace mdi {

bool RunController::passes(const std::function<bool(RunChecks&)>& check) {
  const AsideAsker asker(m_sv.pump, [this] { return m_form.run.StopRequested == 1; });
  AsideFileSystem fs(m_sv.fs, asker);
  AsideDriveTable drives(m_sv.drives, asker);
  Services sv{m_sv.ui,   m_sv.msg,      m_sv.pickers, fs,      m_sv.files,   drives,     m_sv.clock,
              m_sv.pump, m_sv.launcher, m_sv.locale,  m_sv.io, m_sv.records, m_sv.system};
  RunChecks checks(m_form, sv);
  try {
    return check(checks);
  } catch (const ChecksStopped&) {
    return false;  // the operator stopped it while a drive or file held a question
  }
}

bool RunController::openJob(Run& run, int i) {
  RunState& r = m_form.run;
  auto& job = run.jobs[i];
  const int row = i + 1;
  if (r.TargetFolder.back() != '/') r.TargetFolder += '/';
  job.outputPath = m_form.iGrid2.value(row, JobCol::FileName);
  // The files beside the image are replaced or removed too: one question for all.
  const bool withExtra = job.conversion && job.conversion->hasExtra();
  const std::vector<std::string> paths = jobFilePaths(job.outputPath);
  const std::function<bool()> stopped = [this, &run] { return m_form.run.StopRequested == 1 || run.closedByExit; };
  struct Existing {
    std::string path;  // the first of the job's files that exists
    bool resumable = false;
  };
  const auto existing = filesAside<Existing>(m_sv.pump, run, stopped,
                                             [fs = &m_sv.fs, files = &m_sv.files, paths, image = job.outputPath] {
                                               Existing e;
                                               for (const std::string& p : paths)
                                                 if (fs->exists(p)) {
                                                   e.path = p;
                                                   break;
                                                 }
                                               // An image with a map this program wrote beside it can be gone on from.
                                               if (!e.path.empty() && fs->exists(image))
                                                 if (const auto map = readSmallFile(*files, image + ".map"))
                                                   e.resumable = writtenBy(*map, kProgramName);
                                               return e;
                                             });
  if (!existing) return false;
  if (!existing->path.empty()) {
    const MsgAnswer a = m_sv.msg.show(
        {"The file " + existing->path + " already exists and will be overwritten. Are you sure you want to do this?",
         "File exists", MsgIcon::Question, existing->resumable ? MsgButtons::YesNoResume : MsgButtons::YesNo, true});
    if (a == MsgAnswer::No) return false;
    if (a == MsgAnswer::Resume && existing->resumable) return resumeJob(run, i);
  }
  // Opened aside: a drive, a file system or a target may hold an open as
  // long as a read. Given up (Stop meanwhile), the opening creates nothing.
  struct Opened {
    std::unique_ptr<Source> source;
    std::unique_ptr<Output> target, extra;
  };
  const auto givenUp = std::make_shared<std::atomic<bool>>(false);
  // A job going past read errors reads its drive past the page cache from
  // the start (reopening it so can wait on the drive too).
  auto opened = filesAside<Opened>(
      m_sv.pump, run, stopped,
      [files = &m_sv.files, drives = &m_sv.drives, records = &m_sv.records, from = *jobSource(m_form.iGrid2, row),
       out = job.outputPath, withExtra, givenUp, pastCache = job.rescue != nullptr] {
        Opened o;
        o.source = from.isFile ? files->openSource(from.path) : drives->openSource(from.drive);
        if (*givenUp || !o.source->openFailure().empty()) return o;
        if (pastCache) o.source->readPastCache();
        // What an earlier run left beside the image goes first, for good
        // (the map, last in the list, before all): killed once the image is
        // emptied, the program leaves no map vouching for bytes the image
        // no longer holds, and no record or checksum of the old image beside
        // the new. Where one cannot go, nothing is emptied.
        for (const std::string& beside : sideFilePaths(out) | std::views::reverse)
          if (const int err = records->remove(beside); err != 0) {
            o.target = std::make_unique<FailedOutput>(err);
            if (withExtra) o.extra = std::make_unique<FailedOutput>(err);
            return o;
          }
        o.target = files->createOutput(out);
        if (withExtra) o.extra = files->createOutput(extraFilePath(out));
        return o;
      });
  if (!opened) {
    *givenUp = true;
    return false;
  }
  if (std::string why = opened->source->openFailure(); !why.empty()) {
    // The other jobs go on without it.
    job.unopened = std::move(why);
    job.done = 1;
    m_form.iGrid2.setValue(row, JobCol::Status, statusTextOf(job, m_sv.locale.separators()));
    return true;
  }
  job.takeFiles(std::move(opened->source), std::move(opened->target), std::move(opened->extra));
  job.outputCreated = true;
  return true;
}

}  // namespace mdi
