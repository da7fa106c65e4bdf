// A run never writes over a file it reads, nor outside the folders the
// operator chose, whatever other name (hard link, symlink, loop device,
// block device) the file goes by. Every refusal comes before any output is
// created or truncated.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {

struct AliasCase {
  const char* name;
  // Lays out the files and jobs; returns the path of the file that must not change.
  std::function<std::string(RunFixture&)> arrange;
  const char* refusal;  // part of the one message shown
};
void PrintTo(const AliasCase& c, std::ostream* os) { *os << c.name; }

std::string hardLinkToSource(RunFixture& f) {
  const auto s = f.src("src.img", patternBytes(300000, 1));
  f.addFileJob(s);
  fs::create_hard_link(s, f.output(1));
  return s;
}
std::string symlinkToSource(RunFixture& f) {
  const auto s = f.src("src.img", patternBytes(300000, 2));
  f.addFileJob(s);
  fs::create_symlink(s, f.output(1));
  return s;
}
std::string twoNamesThroughASymlinkedFolder(RunFixture& f) {
  const auto s = f.src("src.img", patternBytes(1000, 3));
  fs::create_directory_symlink(f.dir / "out", f.dir / "alias");
  f.addFileJob(s);
  f.addFileJob(s);
  f.form.iGrid2.setValue(2, JobCol::FileName, (f.dir / "alias" / "001.bin").string());
  return s;
}
std::string twoHardLinkedOutputs(RunFixture& f) {
  const auto s = f.src("src.img", patternBytes(1000, 4));
  f.addFileJob(s);
  f.addFileJob(s);
  writeFile(f.output(1), patternBytes(10, 5));
  fs::create_hard_link(f.output(1), f.output(2));
  return f.output(1);
}
std::string fileBehindALoopDrive(RunFixture& f) {
  const auto backing = f.src("backing.img", patternBytes(200000, 6));
  DriveIdentity id{"/dev/loop7", 200000, "", f.fsys.fileId(backing)};
  f.drives.add(7, {id, backing, 0, ""});
  const int row = f.form.iGrid2.addRow();
  f.form.iGrid2.setValue(row, JobCol::ID, "7");
  f.form.iGrid2.setValue(row, JobCol::Model, "Loop " + backing);
  f.form.iGrid2.setValue(row, JobCol::SizeI, "200000");
  f.form.iGrid2.setValue(row, JobCol::FileName, (f.dir / "out" / "x.bin").string());
  f.form.iGrid2.setValue(row, JobCol::SectorIn, "512");
  f.form.iGrid2.setValue(row, JobCol::SectorOut, "512");
  fs::create_hard_link(backing, f.output(row));
  return backing;
}
std::string fileBehindABlockDeviceAddedAsAnImage(RunFixture& f) {
  const auto backing = f.src("backing.img", patternBytes(200000, 7));
  BlockDeviceInfo dev;
  dev.node = "/dev/loop9";
  dev.rdev = 7 * 256 + 9;
  dev.logicalSectorSize = 512;
  dev.wholeDisk = "/dev/loop9";
  dev.identity = {200000, "", f.fsys.fileId(backing), 1};
  f.fsys.devices["/dev/loop9"] = dev;
  f.addFileJob("/dev/loop9", 200000);
  fs::create_hard_link(backing, f.output(1));
  return backing;
}

class AliasRefusal : public RunFixture, public ::testing::WithParamInterface<AliasCase> {};

TEST_P(AliasRefusal, RefusedBeforeAnyFileIsTouched) {
  for (bool mutate : {false, true}) {
    SCOPED_TRACE(mutate ? "sector mutate" : "straight");
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
    form.iGrid2.removeRows(1, form.iGrid2.rowCount());
    msg.shown.clear();
    files.creates.clear();
    ui.setChecked(Ctl::Check2, mutate);
    const std::string kept = GetParam().arrange(*this);
    const auto before = readFile(kept);
    controller.RunClicked();
    ASSERT_EQ(msg.shown.size(), 1u);
    EXPECT_EQ(msg.shown[0].title, "Error");
    EXPECT_NE(msg.shown[0].text.find(GetParam().refusal), std::string::npos) << msg.shown[0].text;
    EXPECT_TRUE(files.creates.empty());
    EXPECT_EQ(readFile(kept), before);
    EXPECT_FALSE(form.running);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Aliases, AliasRefusal,
    ::testing::Values(AliasCase{"HardLinkToTheImageSource", hardLinkToSource, "is the source of job File : "},
                      AliasCase{"SymlinkToTheImageSource", symlinkToSource, "is the source of job File : "},
                      AliasCase{"OneFileThroughASymlinkedFolder", twoNamesThroughASymlinkedFolder,
                                "would both write to"},
                      AliasCase{"TwoHardLinkedOutputs", twoHardLinkedOutputs, "would both write to"},
                      AliasCase{"FileBehindALoopDrive", fileBehindALoopDrive, "is the file behind /dev/loop7"},
                      AliasCase{"FileBehindABlockDeviceAddedAsAnImage", fileBehindABlockDeviceAddedAsAnImage,
                                "is the file behind /dev/loop9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFixture, BindMountedFolderIsTheSameFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to bind-mount a folder";
  fs::create_directories(dir / "bound");
  if (::mount((dir / "out").c_str(), (dir / "bound").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mounts are not permitted here";
  const auto s = src("src.img", patternBytes(1000, 8));
  addFileJob(s);
  addFileJob(s);
  form.iGrid2.setValue(2, JobCol::FileName, (dir / "bound" / "001.bin").string());
  controller.RunClicked();
  ::umount((dir / "bound").c_str());
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_NE(msg.shown[0].text.find("would both write to"), std::string::npos);
  EXPECT_TRUE(files.creates.empty());
}

// ---- folders the operator chose --------------------------------------------

TEST_F(RunFixture, NameMadeWithoutATargetFollowsTheTargetChosenAtRun) {
  form.run.TargetFolder.clear();
  const auto s = src("src.img", patternBytes(5000, 9));
  addFileJob(s);
  EXPECT_EQ(output(1), "001.bin");
  pickers.folders = {(dir / "out").string()};
  controller.RunClicked();
  EXPECT_EQ(output(1), (dir / "out" / "001.bin").string());
  EXPECT_EQ(readFile(output(1)), patternBytes(5000, 9));
  ASSERT_EQ(files.creates.size(), 1u);
  EXPECT_EQ(files.creates.begin()->first, (dir / "out" / "001.bin").string());
  EXPECT_FALSE(fs::exists("/001.bin"));
}

struct VanishedCase {
  const char* name;
  bool runWideTarget;  // else the job's own folder
};
void PrintTo(const VanishedCase& c, std::ostream* os) { *os << c.name; }
class VanishedFolder : public RunFixture, public ::testing::WithParamInterface<VanishedCase> {};
TEST_P(VanishedFolder, IsRefusedAndNeverMadeAgain) {
  const auto s = src("src.img", patternBytes(5000, 10));
  addFileJob(s);
  const fs::path gone = GetParam().runWideTarget ? dir / "out" : dir / "own";
  if (!GetParam().runWideTarget) form.iGrid2.setValue(1, JobCol::FileName, (gone / "a.bin").string());
  fs::remove_all(gone);
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].title, "Error");
  EXPECT_EQ(msg.shown[0].text, "The target folder " + gone.string() + " does not exist.");
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_TRUE(files.creates.empty());
}
INSTANTIATE_TEST_SUITE_P(Folders, VanishedFolder,
                         ::testing::Values(VanishedCase{"RunWideTarget", true}, VanishedCase{"JobsOwnFolder", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- block devices added as image files ------------------------------------

class BlockDeviceJob : public RunFixture {
 protected:
  BlockDeviceInfo device(const std::string& node, std::uint64_t rdev) {
    BlockDeviceInfo d;
    d.node = node;
    d.rdev = rdev;
    d.logicalSectorSize = 512;
    d.wholeDisk = "/dev/sdq";
    d.identity = {4096, "", std::nullopt, 42};
    return d;
  }
};

TEST_F(BlockDeviceJob, ChangedSinceListedIsRefused) {
  const BlockDeviceInfo listed = device("/dev/sdq1", 65 * 256 + 1);
  form.ListedDevices["/dev/sdq1"] = listed;
  BlockDeviceInfo now = listed;
  now.identity.contentHash = 43;
  fsys.devices["/dev/sdq1"] = now;
  addFileJob("/dev/sdq1", 4096);
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text,
            "The device /dev/sdq1 of job File : /dev/sdq1 cannot be imaged: its first 64 KiB changed since it was "
            "listed. Remove the job and add the device again.");
  EXPECT_TRUE(files.creates.empty());
}

TEST_F(BlockDeviceJob, TargetOnAnotherPartitionOfItsDiskIsRefused) {
  fsys.devices["/dev/sdq1"] = device("/dev/sdq1", 65 * 256 + 1);
  form.ListedDevices["/dev/sdq1"] = fsys.devices["/dev/sdq1"];
  drives.add(4, {DriveIdentity{"/dev/sdq", 1 << 20, "serial", std::nullopt}, "/dev/null", 65 * 256, ""});
  drives.setDrivesUnder((dir / "out").string(), {4});
  addFileJob("/dev/sdq1", 4096);
  controller.RunClicked();
  ASSERT_EQ(msg.shown.size(), 1u);
  EXPECT_EQ(msg.shown[0].text, "The target is one of the source drives, this will cause problems.");
  EXPECT_TRUE(files.creates.empty());
  EXPECT_FALSE(form.running);
}

// ---- promises about every run ----------------------------------------------

// Open descriptors of this process that name `path`, with their access mode.
std::vector<int> accessModesOf(const std::string& path) {
  std::vector<int> modes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(e.path(), ec) != fs::path(path) || ec) continue;
    std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
    std::string key;
    while (info >> key) {
      if (key == "flags:") {
        std::string octal;
        info >> octal;
        modes.push_back(std::stoi(octal, nullptr, 8) & O_ACCMODE);
      }
    }
  }
  return modes;
}

TEST_F(RunFixture, SourcesAreOpenedReadOnlyOnEveryPath) {
  for (bool mutate : {false, true}) {
    SCOPED_TRACE(mutate ? "sector mutate" : "straight");
    form.iGrid2.removeRows(1, form.iGrid2.rowCount());
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    ui.setChecked(Ctl::Check2, mutate);
    const auto image = src("image.img", patternBytes(400000, 11));
    const auto disk = src("disk.img", patternBytes(400000, 12));
    drives.add(2, {DriveIdentity{"/dev/sdz", 400000, "id", std::nullopt}, disk, 0, ""});
    addFileJob(image);
    const int row = form.iGrid2.addRow();
    form.iGrid2.setValue(row, JobCol::ID, "2");
    form.iGrid2.setValue(row, JobCol::SizeI, "400000");
    form.iGrid2.setValue(row, JobCol::FileName, (dir / "out" / "disk.bin").string());
    for (int r : {1, 2}) {
      form.iGrid2.setValue(r, JobCol::SectorIn, "512");
      form.iGrid2.setValue(r, JobCol::SectorOut, "512");
    }
    std::vector<int> imageModes, diskModes;
    pump.at(pump.calls + 1, [&] {
      imageModes = accessModesOf(image);
      diskModes = accessModesOf(disk);
    });
    controller.RunClicked();
    EXPECT_EQ(imageModes, std::vector<int>{O_RDONLY});
    EXPECT_EQ(diskModes, std::vector<int>{O_RDONLY});
    EXPECT_EQ(status(1), "Done.");
    EXPECT_EQ(status(2), "Done.");
  }
}

class FailedSync : public RunFixture, public ::testing::WithParamInterface<bool> {};
TEST_P(FailedSync, IsAWriteErrorNeverDone) {
  ui.setChecked(Ctl::Check2, GetParam());
  addFileJob(src("a.img", patternBytes(300000, 13)));
  addFileJob(src("b.img", patternBytes(300000, 14)));
  files.failSync.insert(output(1));
  controller.RunClicked();
  EXPECT_EQ(status(1), "Write Error ...");
  EXPECT_EQ(status(2), "Done.");
}
INSTANTIATE_TEST_SUITE_P(Paths, FailedSync, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "SectorMutate" : "Straight"; });

}  // namespace
}  // namespace mdi::test
