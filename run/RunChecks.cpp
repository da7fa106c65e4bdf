#include "run/RunChecks.h"

#include <algorithm>
#include <map>
#include <set>

#include "convert/SectorLayout.h"
#include "jobs/JobList.h"
#include "jobs/TargetFolder.h"
#include "platform/AtomicFile.h"
#include "record/SideFiles.h"
#include "support/Val.h"

namespace mdi {
namespace {

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}
std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Where an output would be written: the file itself when it exists, else
// the name inside its folder (by the folder's identity).
struct OutputKey {
  FileId id;
  std::string name;  // "" for an existing file
  friend auto operator<=>(const OutputKey&, const OutputKey&) = default;
};

}  // namespace

bool RunChecks::refuse(const std::string& text) {
  m_sv.msg.show({text, "Error", MsgIcon::Exclamation, MsgButtons::Ok, false});
  return false;
}

bool RunChecks::targetChosen() {
  RunState& r = m_form.run;
  auto usable = [&] { return !r.TargetFolder.empty() && r.TargetFolder.front() == '/'; };
  if (!usable()) {
    SetTarget(m_form, m_sv);
    if (!usable()) {
      m_sv.msg.show({"No target folder selected.", "Error", MsgIcon::Exclamation, MsgButtons::Ok, true});
      return false;
    }
  }
  if (m_form.iGrid2.rowCount() == 0) {
    m_sv.msg.show(
        {"Please select drives to image.", "No drives selected.", MsgIcon::Exclamation, MsgButtons::Ok, false});
    return false;
  }
  return true;
}

bool RunChecks::targetUsable() {
  RunState& r = m_form.run;
  // A folder that went away (an unmounted disk, a deleted folder) is never
  // made again here: the images would land on whatever lies underneath.
  if (m_sv.fs.kind(r.TargetFolder) != PathKind::Directory)
    return refuse("The target folder " + r.TargetFolder + " does not exist.");
  if (!m_sv.fs.isWritableFolder(r.TargetFolder))
    return refuse("The target folder " + r.TargetFolder + " cannot be written to.");
  return true;
}

bool RunChecks::sourcesValid(bool mutate) {
  GridModel& jobs = m_form.iGrid2;
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const std::string label = jobLabel(jobs, row);
    const auto src = jobSource(jobs, row);
    if (!src) return refuse("Job " + label + " has no valid source.");
    if (!src->isFile) {
      if (const auto listed = m_sv.drives.listedRecord(src->drive); listed && listed->passThroughDenied)
        return refuse("Drive " + label +
                      " can only be read through SCSI pass-through, which needs root or membership of the disk "
                      "group. Add your user to the disk group (sudo adduser $USER disk), log out and in again and "
                      "start the program again, or start it with sudo.");
      if (const std::string why = m_sv.drives.checkUnchanged(src->drive); !why.empty())
        return refuse("Drive " + std::to_string(src->drive) + " cannot be imaged: " + why +
                      ". Remove the job and add the drive again from the drive list.");
    } else if (auto listed = m_form.ListedDevices.find(src->path); listed != m_form.ListedDevices.end()) {
      const auto now = m_sv.fs.blockDevice(src->path);
      const std::string why = !now ? "it is no longer attached"
                              : now->rdev != listed->second.rdev
                                  ? "it is another device now"
                                  : identityChange(listed->second.identity, now->identity);
      if (!why.empty())
        return refuse("The device " + src->path + " of job " + label + " cannot be imaged: " + why +
                      " since it was listed. Remove the job and add the device again.");
    }
    if (mutate) {
      for (int col : {JobCol::SectorIn, JobCol::SectorOut})
        if (!isWholeNumberIn(jobs.value(row, col), 1, 65536))
          return refuse("The sector sizes of job " + label + " must be whole numbers between 1 and 65536.");
      const auto [s, t] = jobSectorSizes(jobs, row);
      if (const std::string why = layoutMisfit(m_form.Options.layout, s, t); !why.empty())
        return refuse("Job " + label + " cannot be converted: " + why);
    }
  }
  return true;
}

bool RunChecks::outputsApart() {
  GridModel& jobs = m_form.iGrid2;
  // Every file a run reads, by identity: image files (a block device among
  // them by its device number) and the files behind loop devices.
  std::map<FileId, int> sourceFiles;
  std::map<std::uint64_t, int> sourceDevices;
  std::map<FileId, std::pair<int, std::string>> loopFiles;  // -> row, loop node
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const auto src = jobSource(jobs, row);
    if (src->isFile) {
      if (auto id = m_sv.fs.fileId(src->path)) sourceFiles[*id] = row;
      if (auto dev = m_sv.fs.blockDevice(src->path)) {
        sourceDevices[dev->rdev] = row;
        if (dev->identity.loopBacking) loopFiles[*dev->identity.loopBacking] = {row, dev->wholeDisk};
      }
    } else {
      if (auto dev = m_sv.drives.deviceNumber(src->drive)) sourceDevices[*dev] = row;
      if (auto d = m_sv.drives.drive(src->drive)) {
        if (auto id = m_sv.fs.fileId(d->node)) sourceFiles[*id] = row;
        if (d->loopBacking) loopFiles[*d->loopBacking] = {row, d->node};
      }
    }
  }

  // Every file the run writes: each image and the files beside it. None
  // may be a source, the file behind one, or a file another job writes.
  std::map<OutputKey, int> written;
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const std::string label = jobLabel(jobs, row);
    const std::string out = jobs.value(row, JobCol::FileName);
    if (out.empty() || out.front() != '/')
      return refuse("The output file name of job " + label + " is not a full path.");
    const std::string folder = parentOf(out);
    if (m_sv.fs.kind(folder) != PathKind::Directory) return refuse("The target folder " + folder + " does not exist.");
    if (!m_sv.fs.isWritableFolder(folder))
      return refuse("The folder of the output file " + out + " of job " + label + " cannot be written to.");
    const auto folderId = m_sv.fs.fileId(folder);
    for (const std::string& path : jobFilePaths(out)) {
      const std::string what = path == out ? "The output file " + out + " of job " + label
                                           : "The file " + path + " that job " + label + " writes beside its image";
      const auto existing = m_sv.fs.fileId(path);
      const OutputKey key = existing ? OutputKey{*existing, {}} : OutputKey{folderId.value_or(FileId{}), nameOf(path)};
      if (auto it = written.find(key); it != written.end())
        return refuse("Jobs " + jobLabel(jobs, it->second) + " and " + label + " would both write to " + path +
                      ". Give one of them another file name.");
      written[key] = row;
      if (existing) {
        if (auto it = sourceFiles.find(*existing); it != sourceFiles.end())
          return refuse(what + " is the source of job " + jobLabel(jobs, it->second) + ".");
        if (auto it = loopFiles.find(*existing); it != loopFiles.end())
          return refuse(what + " is the file behind " + it->second.second + ", the source of job " +
                        jobLabel(jobs, it->second.first) + ".");
      }
      // Every one of the job's files goes by one limit, the records' (whose
      // names the image's own makes longer): met only after the copy, it
      // would end the job a write error.
      if (nameOf(path).size() > kLongestAtomicName)
        return refuse(what + " has too long a name. Choose a shorter file name.");
      // Written by name, a link would be written through to a file none
      // of these checks compared.
      if (m_sv.fs.isLink(path)) return refuse(what + " is a symbolic link. Choose another file name.");
      const PathKind kind = m_sv.fs.kind(path);
      if (kind == PathKind::BlockDevice) {
        if (auto dev = m_sv.fs.blockDeviceNumber(path); dev && sourceDevices.count(*dev))
          return refuse(what + " is the source of job " + jobLabel(jobs, sourceDevices[*dev]) + ".");
      }
      if (kind != PathKind::Missing && kind != PathKind::Regular)
        return refuse(what + " is not a regular file. Choose another file name.");
    }
  }
  return true;
}

bool RunChecks::beforeOpening(bool mutate) { return targetUsable() && sourcesValid(mutate) && outputsApart(); }

bool RunChecks::freeSpaceAccepted(bool mutate) {
  // What each file system the run writes to must hold: every image at its
  // converted size, its .extra, and room for the records beside it.
  constexpr std::uint64_t kRecordAllowance = 64 * 1024;
  struct Needed {
    std::string folder;  // one folder on it, to ask for its free space
    std::uint64_t bytes = 0;
  };
  std::map<std::string, Needed> perFileSystem;
  const GridModel& jobs = m_form.iGrid2;
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const std::int64_t size = ValFixed(jobs.value(row, JobCol::SizeI)).intPart();
    const auto sourceBytes = static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0));
    std::uint64_t bytes = sourceBytes;
    if (mutate) {
      const auto [s, t] = jobSectorSizes(jobs, row);
      const LayoutSplit split = layoutSplit(m_form.Options.layout, s, t, sourceBytes);
      bytes = split.imageBytes + split.extraBytes;
    }
    const std::string folder = parentOf(jobs.value(row, JobCol::FileName));
    const auto dev = m_sv.fs.deviceOf(folder);
    Needed& n = perFileSystem[dev ? std::to_string(*dev) : folder];
    if (n.folder.empty()) n.folder = folder;
    n.bytes += bytes + kRecordAllowance;
  }
  bool enough = true;
  for (const auto& [key, n] : perFileSystem) enough = enough && m_sv.fs.freeBytes(n.folder).value_or(0) >= n.bytes;
  if (enough) return true;
  return m_sv.msg.show({"There is not enough space on the target drive. Do you want to continue?", "Warning!",
                        MsgIcon::Exclamation, MsgButtons::YesNo, false}) == MsgAnswer::Yes;
}

bool RunChecks::targetIsASource() {
  // Every folder the run writes into: the run-wide target and the folder of
  // each job's output (a job may have a folder of its own).
  std::set<std::string> folders{m_form.run.TargetFolder};
  std::set<int> sourceDrives;
  std::vector<BlockDeviceInfo> sourceDevices;  // block devices added as image files
  std::set<FileId> sourceFiles;                // the other image files
  for (int row = 1; row <= m_form.iGrid2.rowCount(); ++row) {
    folders.insert(parentOf(m_form.iGrid2.value(row, JobCol::FileName)));
    const auto src = jobSource(m_form.iGrid2, row);
    if (!src) continue;
    if (!src->isFile) sourceDrives.insert(src->drive);
    else if (auto dev = m_sv.fs.blockDevice(src->path)) sourceDevices.push_back(*dev);
    else if (auto id = m_sv.fs.fileId(src->path)) sourceFiles.insert(*id);
  }
  auto onSource = [&](const std::string& folder) {
    const std::vector<int> under = m_sv.drives.drivesUnder(folder);
    for (int d : under) {
      if (sourceDrives.count(d)) return true;
      // A file system inside a source image file, through a loop device.
      if (auto id = m_sv.drives.drive(d); id && id->loopBacking && sourceFiles.count(*id->loopBacking)) return true;
    }
    const auto folderDev = m_sv.fs.deviceOf(folder);
    for (const BlockDeviceInfo& dev : sourceDevices) {
      if (folderDev && *folderDev == dev.rdev) return true;
      // A partition counts for its whole disk and every other partition.
      for (int d : under)
        if (auto id = m_sv.drives.drive(d); id && id->node == dev.wholeDisk) return true;
    }
    return false;
  };
  for (const auto& f : folders) {
    if (onSource(f)) {
      m_sv.msg.show({"The target is one of the source drives, this will cause problems.", "Error", MsgIcon::Exclamation,
                     MsgButtons::Ok, false});
      return true;
    }
  }
  return false;
}

}  // namespace mdi
