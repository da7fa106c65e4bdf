// The same 1 GiB straight run twice in one process: through the real main
// window (offscreen, its Qt event pump running every cycle, timer ticking)
// and through the engine alone with a no-op pump. Prints both and the ratio.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_bench [size-MiB]
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "platform/fakes/FakeDriveTable.h"
#include "platform/fakes/Fakes.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/UringCycleIo.h"

namespace fs = std::filesystem;
using namespace mdi;

namespace {

void addJob(FormState& f, const std::string& src, std::uint64_t bytes, const fs::path& out) {
  setUpJobGrid(f.iGrid2);
  f.run.TargetFolder = out.string();
  const int r = f.iGrid2.addRow();
  f.iGrid2.setValue(r, JobCol::ID, kFileId);
  f.iGrid2.setValue(r, JobCol::Model, src);
  f.iGrid2.setValue(r, JobCol::SizeI, static_cast<std::int64_t>(bytes));
  f.iGrid2.setValue(r, JobCol::FileName, (out / "w.bin").string());
  f.iGrid2.setValue(r, JobCol::SectorIn, "512");
  f.iGrid2.setValue(r, JobCol::SectorOut, "512");
  fs::remove(out / "w.bin");
}

template <class F>
double mbps(std::uint64_t bytes, F&& run) {
  const auto t0 = std::chrono::steady_clock::now();
  run();
  return bytes / 1e6 / std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t bytes = mib << 20;
  const fs::path dir = fs::temp_directory_path() / ("mdi-wbench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "out");
  const std::string src = (dir / "src.img").string();
  {
    std::ofstream f(src, std::ios::binary);
    std::vector<char> block(1 << 20, 'q');
    for (std::uint64_t i = 0; i < mib; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  std::system(("cat '" + src + "' > /dev/null").c_str());

  FakeMessageBox msg;
  FakePickers pickers;
  FakeLauncher launcher;
  PosixFileAccess files;
  FakeDriveTable drives(files);

  // Engine alone.
  double engine = 0;
  {
    FormState form;
    FakeControls ui;
    PosixFileSystem fsys;
    MonotonicClock clock;
    FakeEventPump pump;
    FakeLocale locale;
    LinuxCycleIoFactory io;
    Services sv{ui, msg, pickers, fsys, files, drives, clock, pump, launcher, locale, io};
    Progress progress(form, ui, clock, locale);
    RunController run(form, sv, progress);
    addJob(form, src, bytes, dir / "out");
    engine = mbps(bytes, [&] { run.RunClicked(); });
  }
  // Through the window.
  double window = 0;
  {
    FrmMainDeps deps;
    deps.msg = &msg;
    deps.pickers = &pickers;
    deps.launcher = &launcher;
    deps.drives = &drives;
    deps.programFolder = dir.string();
    frmMain w(std::move(deps));
    w.startUp();
    addJob(w.form(), src, bytes, dir / "out");
    window = mbps(bytes, [&] { w.runController().RunClicked(); });
  }
  std::printf("engine alone %8.1f MB/s | window (offscreen) %8.1f MB/s | ratio window/engine %.2f\n", engine, window,
              window / engine);
  fs::remove_all(dir);
  return 0;
}
