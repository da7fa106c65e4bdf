// Resume: a job goes on from the map an earlier run left beside its image,
// once its source, record, sizes and image are checked to be the ones that
// map was made of.
#include <atomic>

#include "jobs/JobList.h"
#include "record/SideFiles.h"
#include "run/ResumeCheck.h"
#include "run/RunController.h"
#include "run/RunInternals.h"

namespace mdi {

namespace {

// Up to `length` bytes from the start of `source`, cut at the first that
// cannot be read.
std::vector<std::byte> head(Source& source, std::size_t length) {
  std::vector<std::byte> buf(length);
  std::size_t got = 0;
  while (got < length) {
    const IoResult r = source.read(std::span<std::byte>(buf).subspan(got));
    got += r.bytes;
    if (r.failed() || r.bytes == 0) break;
  }
  buf.resize(got);
  return buf;
}

}  // namespace

bool RunController::resumeJob(Run& run, int i) {
  auto& job = run.jobs[i];
  const int row = i + 1;
  const auto from = *jobSource(m_form.iGrid2, row);
  ResumeJob now;
  now.sourceSize = static_cast<std::uint64_t>(std::max<std::int64_t>(job.sourceSize, 0));
  if (!from.isFile)
    if (const auto rec = m_sv.drives.listedRecord(from.drive)) now.serial = rec->recordedId();
  now.mutate = run.mutate;
  if (run.mutate) {
    now.sectorIn = job.sourceSector;
    now.sectorOut = job.targetSector;
    now.layout = run.options.layout;
  }
  const bool withExtra = job.conversion && job.conversion->hasExtra();
  struct Opened {
    ResumeVerdict verdict;
    std::unique_ptr<Source> source;
    std::unique_ptr<Output> target, extra;
  };
  const auto givenUp = std::make_shared<std::atomic<bool>>(false);
  const std::function<bool()> stopped = [this, &run] { return m_form.run.StopRequested == 1 || run.closedByExit; };
  auto opened = filesAside<Opened>(
      m_sv.pump, run, stopped,
      [files = &m_sv.files, fs = &m_sv.fs, drives = &m_sv.drives, from, now, image = job.outputPath, withExtra,
       givenUp] {
        Opened o;
        ResumeFacts facts;
        facts.mapText = readSmallFile(*files, image + ".map");
        facts.imageSize = fs->fileSize(image);
        facts.extraSize = fs->fileSize(extraFilePath(image));
        o.source = from.isFile ? files->openSource(from.path) : drives->openSource(from.drive);
        facts.sourceOpenFailure = o.source->openFailure();
        facts.sourceHead = head(*o.source, kResumeHeadBytes);
        const auto imageHead = files->openSource(image);
        facts.imageHead =
            head(*imageHead, static_cast<std::size_t>(
                                 layoutSplit(now.layout, now.sectorIn, now.sectorOut, kResumeHeadBytes).imageBytes));
        o.verdict = checkResume(facts, now, image, kProgramName);
        if (!o.verdict.map || *givenUp) return o;
        // The source read from its start again, the files as they are.
        o.source = from.isFile ? files->openSource(from.path) : drives->openSource(from.drive);
        o.source->readPastCache();
        o.target = files->reopenOutput(image);
        if (withExtra) o.extra = files->reopenOutput(extraFilePath(image));
        return o;
      });
  if (!opened) {
    *givenUp = true;
    return false;
  }
  if (!opened->verdict.map) {
    m_sv.msg.show({opened->verdict.refusal, "Error", MsgIcon::Exclamation, MsgButtons::Ok, false});
    return false;
  }
  job.takeFiles(std::move(opened->source), std::move(opened->target), std::move(opened->extra));
  // Its files are this run's once its copy begins (startIo): a run ended
  // before then leaves them, and the record and map they go on from, as
  // they were.
  job.resumed = true;
  job.rescue = std::make_unique<RescuePlan>(std::move(*opened->verdict.map), job.rescueSettings);
  // Written out of the source's order: its digests come from reading it back.
  job.outOfOrder = job.hashStale = true;
  return true;
}

}  // namespace mdi
