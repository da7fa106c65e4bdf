#pragma once
// A window's worth of state and fakes around a real RunController, with
// real files in a temporary folder. Faults are injected by wrapping the
// real file access (FaultyFiles) or the file system (free space).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "jobs/JobList.h"
#include "platform/ForwardingDriveTable.h"
#include "platform/Services.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/UringCycleIo.h"
#include "progress/Progress.h"
#include "run/RunController.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/Fakes.h"
#include "tests/fakes/FaultyFiles.h"
#include "tests/fakes/ForwardingFileSystem.h"
#include "tests/layouts/LayoutOracle.h"
#include "tests/record/RecordTestUtil.h"

namespace mdi::test {

using Bytes = std::vector<std::byte>;

inline std::vector<std::byte> readFile(const fs::path& p) {
  const std::string text = fileText(p);
  const auto* b = reinterpret_cast<const std::byte*>(text.data());
  return {b, b + text.size()};
}

// Every status each job is given, in order, as the grid hears of it: no
// change is missed, however the jobs' paces fall between event-pump calls.
struct StatusTrail final : GridListener {
  explicit StatusTrail(GridModel& g) : grid(g) { grid.setListener(this); }
  ~StatusTrail() override { grid.setListener(nullptr); }
  void cellChanged(int row, int col) override {
    if (col != JobCol::Status) return;
    auto& t = rows[row];
    const std::string now = grid.value(row, col);
    if (t.empty() || t.back() != now) t.push_back(now);
  }
  GridModel& grid;
  std::map<int, std::vector<std::string>> rows;
};

// The I/O path the engine suites run on: ctest runs them once as they are
// (io_uring) and once with MDI_TEST_IO=sync (the plain path).
inline IoPath testIoPath() {
  const char* v = std::getenv("MDI_TEST_IO");
  return v && std::string(v) == "sync" ? IoPath::Sync : IoPath::Auto;
}

inline std::string firstDifference(const Bytes& got, const Bytes& want) {
  const auto m = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return "sizes " + std::to_string(got.size()) + " / " + std::to_string(want.size()) + ", first difference at byte " +
         std::to_string(m.first - got.begin());
}

// Every file and folder under a folder, with its content (a symlink by its
// target): equal before and after a run that must touch nothing.
inline std::map<std::string, std::string> treeOf(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const auto& e = *it;
    if (e.is_symlink()) tree[e.path().string()] = "-> " + fs::read_symlink(e.path()).string();
    else if (e.is_directory()) tree[e.path().string()] = "<folder>";
    else if (e.is_regular_file()) tree[e.path().string()] = fileText(e.path());
  }
  return tree;
}

class RunFixture : public ::testing::Test {
 public:
  void SetUp() override {
    fs::create_directories(dir / "out");
    setUpJobGrid(form.iGrid2);
    form.run.TargetFolder = (dir / "out").string();
    ui.setVisible(Ctl::Command6, false);
    ui.setVisible(Ctl::ProgBarXP1, false);
    // A test meant for io_uring is skipped on a machine that does not offer it.
    if (testIoPath() == IoPath::Auto && !makeUringCycleIo({}))
      GTEST_SKIP() << "io_uring is not available here (kernel or sandbox); the sync run covers";
  }
  void TearDown() override {
    // A run that opened its files ran on the path the suite is meant for.
    if (*io.lastPath()) { EXPECT_STREQ(io.lastPath(), testIoPath() == IoPath::Sync ? "sync" : "io_uring"); }
  }

  // Test helpers are public so parameter tables can arrange cases.
  std::string src(const std::string& name, const std::vector<std::byte>& data) {
    const auto p = dir / name;
    writeBytes(p, data);
    return p.string();
  }
  // Appends an image-file job as the job editor would.
  int addFileJob(const std::string& path, std::int64_t sizeI = -1, const std::string& in = "512",
                 const std::string& out = "512") {
    const auto size = sizeI >= 0 ? sizeI : static_cast<std::int64_t>(fs::file_size(path));
    const int row = addDriveJob(kFileId, size, "", in, out);
    form.iGrid2.setValue(row, JobCol::Model, path);
    return row;
  }
  // Appends a drive job as the drive list would; `file` "" takes the default name.
  int addDriveJob(const std::string& id, std::int64_t size = -1, const std::string& file = "",
                  const std::string& in = "512", const std::string& out = "512") {
    const int row = form.iGrid2.addRow();
    form.iGrid2.setValue(row, JobCol::ID, id);
    if (size >= 0) form.iGrid2.setValue(row, JobCol::SizeI, size);
    form.iGrid2.setValue(row, JobCol::FileName, file.empty() ? defaultOutputName(row, form.run.TargetFolder) : file);
    form.iGrid2.setValue(row, JobCol::SectorIn, in);
    form.iGrid2.setValue(row, JobCol::SectorOut, out);
    return row;
  }
  void setMutate(bool on) { ui.setChecked(Ctl::Check2, on); }
  std::string output(int row) const { return form.iGrid2.value(row, JobCol::FileName); }
  std::string status(int row) const { return form.iGrid2.value(row, JobCol::Status); }
  std::string extraOf(int row) const { return output(row) + ".extra"; }
  std::string record(int row) const { return fileText(output(row) + ".log"); }
  void pressStop(MsgAnswer answer = MsgAnswer::Yes) {
    msg.answerOnce("Stop process?", answer);
    controller.StopClicked();
  }
  void pressStopAt(int cycle, MsgAnswer answer = MsgAnswer::Yes) {
    pump.at(cycle, [this, answer] { pressStop(answer); });
  }
  // Presses Stop (or leaves by Exit) once, the first time `ready` holds
  // while a cycle waits (for a held transfer, say).
  void stopOnceWhen(std::function<bool()> ready, bool exit = false) {
    pump.whileWaiting([this, ready, exit] {
      if (stopped || !ready()) return;
      stopped = true;
      if (exit) controller.closeAllFiles();
      else pressStop();
    });
  }

  ScratchDir scratch{"mdi-run-"};
  fs::path dir = scratch.path;
  bool stopped = false;  // by stopOnceWhen
  FormState form;
  FakeControls ui;
  FakeMessageBox msg;
  FakePickers pickers;
  PosixFileSystem realFs;
  FreeSpaceFs fsys{realFs};
  PosixFileAccess realFiles;
  FaultyFiles files{realFiles};
  FakeDriveTable drives{files};
  // What the run opens drives through: the fake above, unless a test
  // routes it to a live table.
  ForwardingDriveTable routedDrives{&drives};
  FakeClock clock;
  FakeEventPump pump;
  FakeLauncher launcher;
  FakeLocale locale;
  LinuxCycleIoFactory io{testIoPath()};
  PosixAtomicFile records;
  FakeSystemInfo system;
  Services sv{ui, msg, pickers, fsys, files, routedDrives, clock, pump, launcher, locale, io, records, system};
  Progress progress{form, ui, clock, locale};
  RunController controller{form, sv, progress};
};

}  // namespace mdi::test
