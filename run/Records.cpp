// What each image gets beside it: its digests, a record of the job, and
// for a job that did not read its whole source, a ddrescue map of what was
// read. Written when the run ends, whatever each job's outcome.
#include "jobs/JobList.h"
#include "platform/Aside.h"
#include "record/AcquisitionLog.h"
#include "record/RescueMap.h"
#include "record/SideFiles.h"
#include "record/VerifyImage.h"
#include "run/RunController.h"
#include "run/RunInternals.h"
#include "support/Val.h"

namespace mdi {
namespace {

// The digests of a file as it stands, for an image whose writes failed.
HashResult hashFile(Source& source, HashAlgos algos) {
  Hasher h(algos);
  std::vector<std::byte> buf(1 << 20);
  for (;;) {
    const IoResult r = source.read(buf);
    h.update(std::span<const std::byte>(buf.data(), r.bytes));
    if (r.failed()) return {{}, "the image could not be read back"};
    if (r.bytes < buf.size()) break;
  }
  return h.finish();
}

// Opens a source to read back, on the thread that reads it: opening a
// drive or a file can wait on it too.
using Opener = std::function<std::unique_ptr<Source>()>;

std::optional<VerifyResult> verifyAside(EventPump& pump, const std::function<bool()>& stopped, Opener open,
                                        const Digests& expected) {
  return awaitAside<VerifyResult>(pump, stopped, [open = std::move(open), expected] {
    const std::unique_ptr<Source> source = open();
    return verifySource(*source, expected);
  });
}

// The digests a run makes: those chosen, and SHA-256 where none is chosen
// but images are to be verified, which needs a digest to compare.
HashAlgos runDigests(const FormState::RecordOptions& o) {
  if (o.hashes.empty() && (o.verifyImages || o.rereadSources)) return {HashAlgo::Sha256};
  return o.hashes;
}

}  // namespace

void RunController::startRecords(Run& run) {
  const HashAlgos algos = runDigests(run.options);
  if (!algos.empty()) run.hashes = std::make_unique<HashPipeline>();
  const auto now = m_sv.system.now();
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    run.jobs[i].startedAt = now;
    if (!run.hashes) continue;
    run.hashes->open(Run::imageStream(i), algos);
    if (run.mutate) run.hashes->open(Run::sourceStream(i), algos);
    if (run.jobs[i].extra) run.hashes->open(Run::extraStream(i), algos);
  }
}

MapHeader RunController::mapHeaderOf(const Run& run, int i) const {
  const auto& job = run.jobs[static_cast<std::size_t>(i)];
  MapHeader h{kProgramName,
              m_form.ProgramVersion.empty() ? "unknown" : m_form.ProgramVersion,
              {},
              job.outputPath,
              job.startedAt,
              m_sv.system.now(),
              {}};
  h.notes.emplace_back("source_size", std::to_string(std::max<std::int64_t>(job.sourceSize, 0)));
  if (const auto src = jobSource(m_form.iGrid2, i + 1); src && src->isFile) {
    h.source = src->path;
  } else if (src) {
    if (const auto rec = m_sv.drives.listedRecord(src->drive)) {
      h.source = rec->deviceId;
      h.notes.emplace_back("source_serial", rec->recordedId());
    }
  }
  h.notes.emplace_back("sector_mutate", run.mutate ? "yes" : "no");
  h.notes.emplace_back("sector_in", std::to_string(run.mutate ? job.sourceSector : 512));
  h.notes.emplace_back("sector_out", std::to_string(run.mutate ? job.targetSector : 512));
  if (run.mutate) h.notes.emplace_back("sector_layout", std::string(layoutText(run.options.layout)));
  return h;
}

std::string RunController::rescueMapTextOf(const Run& run, int i) const {
  return rescueMapText(run.jobs[static_cast<std::size_t>(i)].rescue->map(), mapHeaderOf(run, i),
                       run.jobs[static_cast<std::size_t>(i)].rescue->progress());
}

void RunController::recordJobs(Run& run) {
  const HashAlgos algos = runDigests(run.options);
  const Separators sep = m_sv.locale.separators();
  // What runs aside gives way to a Stop confirmed from here on, or to Exit.
  const std::uint64_t stopsBefore = m_stopsConfirmed;
  const std::function<bool()> stopped = [&] { return m_stopsConfirmed != stopsBefore || run.closedByExit; };
  // An image read back as it stands, for a job whose writes failed. Not on
  // Exit, which ends the process without waiting on any file.
  auto hashAside = [&](const std::string& path) {
    if (run.closedByExit) return HashResult{{}, "the program was ended by Exit before the image was read back"};
    auto hashed = awaitAside<HashResult>(m_sv.pump, stopped, [files = &m_sv.files, path, algos] {
      const std::unique_ptr<Source> source = files->openSource(path);
      return hashFile(*source, algos);
    });
    return hashed ? *hashed : HashResult{{}, "the run was stopped before the image was read back"};
  };
  // Each stream's digest is taken once: Exit may write the records while
  // an earlier call is still reading an image back.
  if (run.hashes) {
    for (std::size_t i = 0; i < run.jobs.size(); ++i) {
      auto& job = run.jobs[i];
      job.imageDigests = run.hashes->finish(Run::imageStream(i));
      if (run.mutate) job.sourceDigests = run.hashes->finish(Run::sourceStream(i));
      if (job.conversion && job.conversion->hasExtra()) job.extraDigests = run.hashes->finish(Run::extraStream(i));
    }
  }
  run.hashes.reset();
  // Each record is written aside (an atomic write syncs the target): a
  // target that hangs holds up neither the window nor Exit.
  auto writeRecord = [&](const std::string& path, std::string text) {
    const auto err = filesAside<int>(
        m_sv.pump, run, [&run] { return run.closedByExit; },
        [records = &m_sv.records, path, text = std::move(text)] { return records->write(path, text); });
    return err ? *err : ETIMEDOUT;
  };
  for (std::size_t i = 0; i < run.jobs.size(); ++i) {
    auto& job = run.jobs[i];
    // A kept or never-created output gets nothing new beside it.
    if (!job.outputCreated || job.recorded) continue;
    const int row = static_cast<int>(i) + 1;
    const bool withExtra = job.conversion && job.conversion->hasExtra();
    const std::string extraPath = extraFilePath(job.outputPath);
    // Its bytes were hashed as they passed: digests asked for, and the copy began.
    const bool hashed = !algos.empty() && job.started;
    HashResult image = job.imageDigests, source = job.sourceDigests, extra = job.extraDigests;
    // Read out of the source's order, a job has no digest of its source
    // stream: what passed was not the source front to back.
    if (job.outOfOrder) source = HashResult{};
    if (hashed && (job.hashStale || job.outputGivenUp)) {
      image = job.outputGivenUp ? HashResult{{}, "the image's last write had not returned when the run ended"}
                                : hashAside(job.outputPath);
      if (withExtra) extra = hashAside(extraPath);
      if (job.recorded) continue;  // Exit wrote it meanwhile
    }

    AcquisitionLog log;
    log.program = kProgramName;
    log.version = m_form.ProgramVersion.empty() ? "unknown" : m_form.ProgramVersion;
    log.host = m_sv.system.hostName();
    log.start = job.startedAt;
    const auto src = jobSource(m_form.iGrid2, row);
    log.source.sizeBytes = static_cast<std::uint64_t>(job.sourceSize);
    if (src && !src->isFile) {
      log.source.kind = AcquiredSource::Kind::Drive;
      if (auto rec = m_sv.drives.listedRecord(src->drive)) {
        log.source.path = rec->deviceId;
        log.source.model = rec->model;
        log.source.serial = rec->recordedId();
        log.source.sizeBytes = rec->size;
        log.source.logicalSectorSize = rec->bytesPerSector;
        log.source.passThrough = rec->passThrough;
      } else if (auto id = m_sv.drives.drive(src->drive)) {
        log.source.path = id->node;
        log.source.serial = id->persistentId;
      }
    } else if (src) {
      log.source.path = src->path;
      if (auto dev = m_form.ListedDevices.find(src->path); dev != m_form.ListedDevices.end()) {
        log.source.kind = AcquiredSource::Kind::Drive;
        log.source.model = m_form.iGrid2.value(row, JobCol::Model);
        log.source.logicalSectorSize = dev->second.logicalSectorSize;
      } else {
        log.source.kind = AcquiredSource::Kind::ImageFile;
      }
    }
    log.source.access = accessName(job.access);
    log.imagePath = job.outputPath;
    log.mutate = run.mutate;
    log.sectorIn = static_cast<std::uint32_t>(run.mutate ? job.sourceSector : 512);
    log.sectorOut = static_cast<std::uint32_t>(run.mutate ? job.targetSector : 512);
    log.bytesRead = static_cast<std::uint64_t>(job.bytesRead);
    log.bytesWritten = static_cast<std::uint64_t>(job.imageLength());
    log.imageHashes = image.digests;
    log.sourceHashes = source.digests;
    if (hashed && !image.ok()) log.hashError = image.error;
    if (hashed && !extra.ok()) log.hashError = extra.error;
    if (run.mutate) log.sectorLayout = std::string(layoutText(run.options.layout));
    if (withExtra)
      log.extraFile = ExtraFileRecord{extraPath, static_cast<std::uint64_t>(job.extraLength()), extra.digests};
    if (job.conversion && job.conversion->pi()) log.protectionLines = job.conversion->pi()->recordLines();

    // Verify: only a complete image with digests to compare.
    if (outcomeOf(job) == JobOutcome::Done && image.ok() && (run.options.verifyImages || run.options.rereadSources)) {
      VerifyRecord v;
      if (run.closedByExit) {
        v.result = "Verify stopped";  // Exit reads nothing back
      } else {
        setStatus(row, "Verifying...");
        m_sv.pump.processEvents();
        bool ok = true;
        std::optional<VerifyResult> r;
        if (run.options.verifyImages) {
          r = verifyAside(
              m_sv.pump, stopped, [files = &m_sv.files, path = job.outputPath] { return files->openSource(path); },
              image.digests);
          ok = r && r->kind == VerifyResult::Kind::Match;
          if (r) v.imageHashes = r->actual;
        }
        if (ok && run.options.rereadSources && src && !(run.mutate && job.outOfOrder)) {
          const Opener again = [files = &m_sv.files, drives = &m_sv.drives, from = *src] {
            return from.isFile ? files->openSource(from.path) : drives->openSource(from.drive);
          };
          r = verifyAside(m_sv.pump, stopped, again, run.mutate ? source.digests : image.digests);
          ok = r && r->kind == VerifyResult::Kind::Match;
          if (r) v.sourceHashes = r->actual;
        }
        if (r) {
          job.verifyText = ok ? "Verified" : "Verify failed";
          v.result = job.verifyText;
        } else {
          // Stopped before the check ended: the image is as whole as before,
          // and not said to be verified either way.
          v.result = "Verify stopped";
        }
      }
      log.verify = v;
      if (job.recorded) continue;  // Exit wrote it meanwhile
    }

    // Checksum files first, of the hashes chosen: the log states the
    // outcome they leave.
    int err = 0;
    for (const Digest& d : image.digests) {
      if (!run.options.hashes.contains(d.algo)) continue;
      const std::string path = checksumFilePath(job.outputPath, d.algo);
      const auto slash = job.outputPath.find_last_of('/');
      if (!err) err = writeRecord(path, checksumFileText(d.hex, job.outputPath.substr(slash + 1)));
    }
    const JobOutcome outcome = outcomeOf(job);
    if (!err && job.rescue && job.started && !job.closeFailed) {
      // Going past read errors, every job says what it read, and what not,
      // after any save of its map still out, so the last word is this one;
      // over an image not known to be on the medium, the last map saved
      // while it was stays.
      if (const auto saving = std::exchange(job.mapSaving, nullptr))
        filesAside<int>(m_sv.pump, run, stopped, [saving] { return saving->wait(std::chrono::hours(24)).value_or(0); });
      err = writeRecord(job.outputPath + ".map", rescueMapTextOf(run, row - 1));
    } else if (!err && (outcome == JobOutcome::ReadError || outcome == JobOutcome::Stopped)) {
      // Read means whole sectors read: the start of one that a failed read
      // brought is not in the image, and the map does not claim it.
      const auto sector = static_cast<std::uint64_t>(job.sourceSector > 0 ? job.sourceSector : 512);
      const std::uint64_t upTo = static_cast<std::uint64_t>(job.readErrorAt.value_or(job.bytesRead)) / sector * sector;
      std::optional<BadArea> bad;
      if (job.readErrorAt) bad = BadArea{upTo, sector};
      const std::uint64_t size =
          std::max<std::uint64_t>(log.source.sizeBytes, static_cast<std::uint64_t>(job.bytesRead));
      const RescueMap map = RescueMap::ofLinearRead(size, upTo, bad);
      err = writeRecord(job.outputPath + ".map",
                        rescueMapText(map, mapHeaderOf(run, row - 1), static_cast<std::uint64_t>(job.bytesRead)));
    }
    if (err) job.writeFailed = true;
    log.outcome = statusTextOf(job, sep);
    if (outcomeOf(job) == JobOutcome::Stopped) log.stoppedBy = run.closedByExit ? "Exit" : "Stop";
    if (job.readGivenUp) log.heldReadAt = static_cast<std::uint64_t>(job.bytesRead);
    if (job.rescue) {
      log.bytesRead = job.rescue->map().bytesWith(MapStatus::Finished);
      log.goPastErrors = AcquisitionLog::GonePast{job.rescue->badAreas(), job.rescue->unreadBytes()};
    }
    if (job.readErrorAt) {
      log.outcomeOffset = static_cast<std::uint64_t>(*job.readErrorAt);
      log.readErrors.push_back(static_cast<std::uint64_t>(*job.readErrorAt));
    }
    log.end = m_sv.system.now();
    if (!err && writeRecord(job.outputPath + ".log", formatAcquisitionLog(log)) != 0) job.writeFailed = true;
    job.recorded = true;
  }
}

}  // namespace mdi
