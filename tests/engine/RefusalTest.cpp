// Every check between pressing Run and the first block that ends the run:
// one message, and nothing opened, created, truncated or made again. A run
// never writes over a file it reads, whatever other name (hard link,
// symlink, loop device, block device) the file goes by. (The sources a run
// does open, it opens read-only: the run model.)
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>

#include "tests/SmallTmpfs.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

using Texts = std::vector<std::string>;
enum Modes { Straight = 1, Mutate = 2, Both = 3 };

class Refused;
struct Refusal {
  std::string name;
  int modes;
  std::function<void(Refused&)> arrange;  // may skip, saying why the machine cannot
  std::string text;                       // the one message, once {dir} {out1} {out2} {job1} {job2} are filled in
  const char* title = "Error";
  bool systemModal = false;
};

struct RefusalRun {
  Refusal c;
  bool mutate;
  std::string name;
};
class Refused : public RunFixture, public ::testing::WithParamInterface<RefusalRun> {
 public:
  // Runs, and checks that the run ended at one message having touched nothing.
  void runExpecting(std::string text, const std::string& title, bool systemModal) {
    for (auto [key, value] : {std::pair{"{dir}", dir.string()},
                              {"{out1}", output(1)},
                              {"{out2}", output(2)},
                              {"{job1}", jobLabel(form.iGrid2, 1)},
                              {"{job2}", jobLabel(form.iGrid2, 2)}})
      for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, std::strlen(key), value);
    const bool noTarget = form.run.TargetFolder.empty();
    const auto before = treeOf(dir);
    controller.RunClicked();
    ASSERT_EQ(msg.shown.size(), 1u) << (msg.shown.empty() ? "" : msg.shown.back().text);
    const Message& m = msg.shown[0];
    EXPECT_EQ(m.title, title);
    EXPECT_EQ(m.text, text);
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.systemModal, systemModal);
    EXPECT_EQ(pickers.folderTitles, noTarget ? Texts{"Select Target Folder"} : Texts{});
    EXPECT_TRUE(files.creates.empty());
    EXPECT_TRUE(drives.opened.empty());
    EXPECT_EQ(treeOf(dir), before) << "nothing under the test folder is made, changed or removed";
    EXPECT_FALSE(form.running);
    EXPECT_TRUE(ui.closeAllowed);
    EXPECT_TRUE(ui.isEnabled(Ctl::Command2));
    EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1)) << "the window is left as it was before Run";
  }
  void TearDown() override {
    tmpfs.unmount();
    RunFixture::TearDown();
  }
  SmallTmpfs tmpfs;
};

void loopDriveOverOutput(RunFixture& f) {
  const auto backing = f.src("backing.img", patternBytes(200000, 6));
  f.drives.add(7, {DriveIdentity{"/dev/loop7", 200000, "", f.fsys.fileId(backing)}, backing, 0, ""});
  const int row = f.addDriveJob("7", 200000, (f.dir / "out" / "x.bin").string());
  f.form.iGrid2.setValue(row, JobCol::Model, "Loop " + backing);
  fs::create_hard_link(backing, f.output(row));
}
void blockDeviceOverOutput(RunFixture& f) {
  const auto backing = f.src("backing.img", patternBytes(200000, 7));
  f.fsys.devices["/dev/loop9"] = {
      "/dev/loop9", 7 * 256 + 9, 512, "/dev/loop9", {200000, "", f.fsys.fileId(backing), 1}};
  f.addFileJob("/dev/loop9", 200000);
  fs::create_hard_link(backing, f.output(1));
}
// A partition /dev/sdq1 added as an image file, as listed.
void partitionJob(RunFixture& f) {
  f.fsys.devices["/dev/sdq1"] = {"/dev/sdq1", 65 * 256 + 1, 512, "/dev/sdq", {4096, "", std::nullopt, 42}};
  f.form.ListedDevices["/dev/sdq1"] = f.fsys.devices["/dev/sdq1"];
  f.addFileJob("/dev/sdq1", 4096);
}
// One image-file job from a.img, with a cell set otherwise than the job
// editor would; its output's path.
std::string oneJob(RunFixture& f, int col = -1, const std::string& value = "") {
  f.addFileJob(f.src("a.img", patternBytes(300000, 1)));
  if (col >= 0) f.form.iGrid2.setValue(1, col, value);
  return f.output(1);
}
// Two image-file jobs; the second one's output named `second`, if given.
void twoJobs(RunFixture& f, const std::string& second = "") {
  f.addFileJob(f.src("a.img", patternBytes(1000, 1)));
  f.addFileJob(f.src("b.img", patternBytes(1000, 2)));
  if (!second.empty()) f.form.iGrid2.setValue(2, JobCol::FileName, second);
}
// A folder nothing can be written to: read-only to this user or, for root
// (whom file modes do not stop), a read-only mount.
void readOnlyFolder(Refused& f) {
  if (::geteuid() != 0) {
    fs::create_directories(f.dir / "ro");
    fs::permissions(f.dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  } else if (const std::string why = f.tmpfs.mount(f.dir / "ro", "64k", MS_RDONLY); !why.empty()) {
    GTEST_SKIP() << why;
  }
}
// A block device node of its own in the test's folder, of the experimental
// range, so that nothing could reach a real disk through it.
void deviceNode(const fs::path& at, dev_t rdev) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a device node";
  if (::mknod(at.c_str(), S_IFBLK | 0600, rdev) != 0)
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
}
Refusal sectorSizes(const char* name, const char* in, const char* out) {
  return {name, Mutate, [in, out](RunFixture& f) { f.addFileJob(f.src("a.img", patternBytes(1000, 1)), -1, in, out); },
          "The sector sizes of job {job1} must be whole numbers between 1 and 65536."};
}
constexpr const char* kBothWrite = "Jobs {job1} and {job2} would both write to ";
constexpr const char* kOwnSource = "The output file {out1} of job {job1} is the source of job {job1}.";

const Refusal kRefusals[] = {
    {"NoTargetFolder", Both,
     [](RunFixture& f) {
       f.form.run.TargetFolder.clear();
       oneJob(f);
     },
     "No target folder selected.", "Error", true},
    {"EmptyJobList", Both, [](RunFixture&) {}, "Please select drives to image.", "No drives selected."},
    {"NotEnoughSpaceDeclined", Both,
     [](RunFixture& f) {
       f.fsys.free = 10;
       twoJobs(f);
       f.msg.answer("Warning!", MsgAnswer::No);
     },
     "There is not enough space on the target drive. Do you want to continue?", "Warning!"},
    {"TargetOnAnotherPartitionOfASourceDisk", Both,
     [](RunFixture& f) {
       partitionJob(f);
       f.drives.add(4, {DriveIdentity{"/dev/sdq", 1 << 20, "serial", std::nullopt}, "/dev/null", 65 * 256, ""});
       f.drives.setDrivesUnder((f.dir / "out").string(), {4});
     },
     "The target is one of the source drives, this will cause problems."},
    // Each folder written into is checked alike: the run-wide target's, and a job's own.
    {"FolderOfTheJobOnASourceDrive", Both,
     [](RunFixture& f) {
       f.drives.add(0, {{"/dev/fake0", 4096, "id0"}, f.src("disk0", patternBytes(4096, 3)), 0x0800, ""});
       fs::create_directories(f.dir / "own");
       f.drives.setDrivesUnder((f.dir / "own").string(), {0});
       f.addDriveJob("0", 4096);
       f.addFileJob(f.src("a.img", patternBytes(1000, 1)));
       f.form.iGrid2.setValue(2, JobCol::FileName, (f.dir / "own" / "a.bin").string());
     },
     "The target is one of the source drives, this will cause problems."},
    // A file system inside an image file that is a source, mounted through
    // a loop device: writing there writes into the source.
    {"TargetInsideASourceImage", Both,
     [](RunFixture& f) {
       const std::string image = f.src("fs.img", patternBytes(1 << 20, 4));
       f.drives.add(6, {DriveIdentity{"/dev/loop6", 1 << 20, "", f.fsys.fileId(image)}, image, 0x0706, ""});
       fs::create_directories(f.dir / "mnt");
       f.drives.setDrivesUnder((f.dir / "mnt").string(), {6});
       f.addFileJob(image);
       f.form.iGrid2.setValue(1, JobCol::FileName, (f.dir / "mnt" / "fs.bin").string());
     },
     "The target is one of the source drives, this will cause problems."},
    {"ChangedDrive", Both,
     [](RunFixture& f) {
       const std::string why = "the drive at /dev/fake2 has changed since it was listed";
       f.drives.add(2, {{"/dev/fake2", 4096, "id2"}, f.src("d2", patternBytes(10, 1)), 1, why});
       f.addDriveJob("2");
     },
     "Drive 2 cannot be imaged: the drive at /dev/fake2 has changed since it was listed. Remove the job and add "
     "the drive again from the drive list."},
    {"PassThroughDriveWithoutTheRights", Both,
     [](RunFixture& f) {
       f.drives.add(3, {{"/dev/sdc", 0, "id3"}, f.src("d3", patternBytes(10, 1)), 1, ""});
       f.drives.describe(3, {"SEAGATE ST3300657SS", "", 520, 0, true});
       const int row = f.addDriveJob("3", 0);
       f.form.iGrid2.setValue(row, JobCol::Model, "SEAGATE ST3300657SS");
     },
     "Drive 3 : SEAGATE ST3300657SS can only be read through SCSI pass-through, which needs root or membership of "
     "the disk group. Add your user to the disk group (sudo adduser $USER disk), log out and in again and start "
     "the program again, or start it with sudo."},
    {"ChangedBlockDevice", Both,
     [](RunFixture& f) {
       partitionJob(f);
       f.fsys.devices["/dev/sdq1"].identity.contentHash = 43;  // its first 64 KiB are not as listed
     },
     "The device /dev/sdq1 of job File : /dev/sdq1 cannot be imaged: its first 64 KiB changed since it was listed. "
     "Remove the job and add the device again."},
    {"BadIdCell", Both, [](RunFixture& f) { oneJob(f, JobCol::ID, "x7"); }, "Job {job1} has no valid source."},
    {"RelativeOutputName", Both, [](RunFixture& f) { oneJob(f, JobCol::FileName, "abc.bin"); },
     "The output file name of job {job1} is not a full path."},
    {"OutputIsADevice", Both, [](RunFixture& f) { oneJob(f, JobCol::FileName, "/dev/null"); },
     "The output file /dev/null of job {job1} is not a regular file. Choose another file name."},
    {"VanishedFolderOfTheJob", Both,
     [](RunFixture& f) { oneJob(f, JobCol::FileName, (f.dir / "own" / "a.bin").string()); },
     "The target folder {dir}/own does not exist."},
    {"OutputIsAnotherJobsRecord", Both, [](RunFixture& f) { twoJobs(f, (f.dir / "out" / "001.bin.log").string()); },
     std::string(kBothWrite) + "{out1}.log. Give one of them another file name."},
    // The same file through another spelling of its folder (a bind mount
    // of it is the same folder too).
    {"OneFileThroughASymlinkedFolder", Both,
     [](RunFixture& f) {
       fs::create_directory_symlink(f.dir / "out", f.dir / "alias");
       twoJobs(f, (f.dir / "alias" / "001.bin").string());
     },
     std::string(kBothWrite) + "{dir}/alias/001.bin. Give one of them another file name."},
    {"TwoHardLinkedOutputs", Both,
     [](RunFixture& f) {
       twoJobs(f);
       writeBytes(f.output(1), patternBytes(10, 5));
       fs::create_hard_link(f.output(1), f.output(2));
     },
     std::string(kBothWrite) + "{out2}. Give one of them another file name."},
    {"HardLinkToTheImageSource", Both, [](RunFixture& f) { fs::create_hard_link(f.dir / "a.img", oneJob(f)); },
     kOwnSource},
    {"SymlinkToTheImageSource", Both, [](RunFixture& f) { fs::create_symlink(f.dir / "a.img", oneJob(f)); },
     kOwnSource},
    // A name that is a link (dangling or not) would be written through to
    // a file no check compared: another job's, or one on a source's disk.
    {"OutputIsASymlink", Both, [](RunFixture& f) { fs::create_symlink(f.dir / "elsewhere.bin", oneJob(f)); },
     "The output file {out1} of job {job1} is a symbolic link. Choose another file name."},
    {"ChecksumFileIsASymlink", Both,
     [](RunFixture& f) { fs::create_symlink(f.dir / "elsewhere.sha256", oneJob(f) + ".sha256"); },
     "The file {out1}.sha256 that job {job1} writes beside its image is a symbolic link. Choose another file name."},
    // Its records are written through temporary files of longer names, so
    // an image name near the file system's 255-byte limit would end the job
    // a write error after the whole copy.
    {"OutputNameTooLong", Both,
     [](RunFixture& f) { oneJob(f, JobCol::FileName, (f.dir / "out" / (std::string(230, 'a') + ".bin")).string()); },
     "The output file {out1} of job {job1} has too long a name. Choose a shorter file name."},
    {"OutputIsADrivesNode", Both,
     [](RunFixture& f) {
       f.drives.add(0, {{(f.dir / "node0").string(), 100, "id"}, f.src("node0", patternBytes(100, 1)), 7, ""});
       f.addDriveJob("0", -1, (f.dir / "node0").string());
     },
     kOwnSource},
    {"FileBehindALoopDrive", Both, loopDriveOverOutput,
     "The output file {out1} of job {job1} is the file behind /dev/loop7, the source of job {job1}."},
    {"FileBehindABlockDeviceAddedAsAnImage", Both, blockDeviceOverOutput,
     "The output file {out1} of job {job1} is the file behind /dev/loop9, the source of job {job1}."},
    {"ReadOnlyTargetFolder", Straight,
     [](Refused& f) {
       readOnlyFolder(f);
       f.form.run.TargetFolder = (f.dir / "ro").string();
       oneJob(f);
     },
     "The target folder {dir}/ro cannot be written to."},
    {"ReadOnlyFolderOfTheJob", Straight,
     [](Refused& f) {
       readOnlyFolder(f);
       oneJob(f, JobCol::FileName, (f.dir / "ro" / "a.bin").string());
     },
     "The folder of the output file {dir}/ro/a.bin of job {job1} cannot be written to."},
    // Another node of a drive's device, made anywhere: the same device, whatever the name.
    {"AnotherNodeOfASourceDrive", Straight,
     [](Refused& f) {
       deviceNode(f.dir / "alias", makedev(240, 77));
       f.drives.add(0, {{"/dev/fake0", 4096, "id0"}, f.src("disk0", patternBytes(4096, 3)), makedev(240, 77), ""});
       f.addDriveJob("0", 4096, (f.dir / "alias").string());
     },
     "The output file {dir}/alias of job {job1} is the source of job {job1}."},
    // Imaging over a whole disk that is no source of the run.
    {"OutputIsABlockDeviceThatIsNoSource", Straight,
     [](Refused& f) {
       deviceNode(f.dir / "disk", makedev(240, 78));
       oneJob(f, JobCol::FileName, (f.dir / "disk").string());
     },
     "The output file {dir}/disk of job {job1} is not a regular file. Choose another file name."},
    {"ChecksumFileIsASource", Both, [](RunFixture& f) { fs::create_hard_link(f.dir / "a.img", oneJob(f) + ".sha256"); },
     "The file {out1}.sha256 that job {job1} writes beside its image is the source of job {job1}."},
    // (The record and the map are checked as these are: the overwrite
    // question asks about each file beside an image from the same list.)
    {"ExtraFileIsASource", Mutate,
     [](RunFixture& f) {
       const auto s = f.src("a.img", patternBytes(520 * 64, 1));
       f.addFileJob(s, -1, "520", "512");
       fs::create_hard_link(s, f.extraOf(1));
     },
     "The file {out1}.extra that job {job1} writes beside its image is the source of job {job1}."},
    {"GroupsOnlyFor520To512", Mutate,
     [](RunFixture& f) {
       f.form.Options.layout = SectorLayout::Groups4K;
       f.addFileJob(f.src("a.img", patternBytes(520 * 64, 1)), -1, "520", "512");
       f.addFileJob(f.src("b.img", patternBytes(528 * 64, 2)), -1, "528", "512");
     },
     "Job {job2} cannot be converted: The sector layout \"4 KiB groups (8 \xC3\x97 520)\" needs Sector In 520 and "
     "Sector Out 512, not 528 and 512."},
    // Each of the two cells is checked; which texts are whole numbers in range, the support tests show.
    sectorSizes("SectorInZero", "0", "512"),
    sectorSizes("SectorOutZero", "520", "0"),
    {"SectorSizesGivingNoBlock", Mutate,
     [](RunFixture& f) { f.addFileJob(f.src("a.img", patternBytes(1000, 1)), -1, "65536", "1"); },
     "The sector sizes of job {job1} (65536 in, 1 out) cannot be converted."},
};

TEST_P(Refused, BeforeAnyFileIsTouched) {
  const RefusalRun& r = GetParam();
  setMutate(r.mutate);
  r.c.arrange(*this);
  if (IsSkipped()) return;
  runExpecting(r.c.text, r.c.title, r.c.systemModal);
}
std::vector<RefusalRun> everyMode() {
  std::vector<RefusalRun> runs;
  for (const Refusal& c : kRefusals) {
    if (c.modes & Straight) runs.push_back({c, false, c.name + "_Straight"});
    if (c.modes & Mutate) runs.push_back({c, true, c.name + "_SectorMutate"});
  }
  return runs;
}

INSTANTIATE_TEST_SUITE_P(Checks, Refused, ::testing::ValuesIn(everyMode()), ByName{});

}  // namespace
}  // namespace mdi::test
