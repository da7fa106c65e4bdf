// Whole-run throughput of the copy engine against dd, on the same data in
// the same process run: a 1 GiB file (page cache warm) and, where the
// machine allows, a loop device over it. Prints MB/s and the ratios.
//
//   build/bench/run_bench [size-MiB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/RunController.h"
#include "jobs/JobList.h"
#include "platform/fakes/FakeDriveTable.h"
#include "platform/fakes/Fakes.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/UringCycleIo.h"
#include "progress/Progress.h"

namespace fs = std::filesystem;
using namespace mdi;

namespace {

double seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

struct Options {
  bool check3 = false;
  bool mutate = false;
  std::string sectorIn = "512";
};

// One run of the engine over `source`; returns MB/s of source bytes.
double engineRun(const std::string& source, std::uint64_t bytes, const fs::path& outDir, const Options& o) {
  FormState form;
  FakeControls ui;
  FakeMessageBox msg;
  FakePickers pickers;
  PosixFileSystem fsys;
  PosixFileAccess files;
  FakeDriveTable drives(files);
  MonotonicClock clock;
  FakeEventPump pump;
  FakeLauncher launcher;
  FakeLocale locale;
  LinuxCycleIoFactory io;
  Services sv{ui, msg, pickers, fsys, files, drives, clock, pump, launcher, locale, io};
  Progress progress(form, ui, clock, locale);
  RunController run(form, sv, progress);
  setUpJobGrid(form.iGrid2);
  form.run.TargetFolder = outDir.string();
  ui.setChecked(Ctl::Check3, o.check3);
  ui.setChecked(Ctl::Check2, o.mutate);
  const int row = form.iGrid2.addRow();
  form.iGrid2.setValue(row, JobCol::ID, kFileId);
  form.iGrid2.setValue(row, JobCol::Model, source);
  form.iGrid2.setValue(row, JobCol::SizeI, static_cast<std::int64_t>(bytes));
  form.iGrid2.setValue(row, JobCol::FileName, (outDir / "bench.bin").string());
  form.iGrid2.setValue(row, JobCol::SectorIn, o.sectorIn);
  form.iGrid2.setValue(row, JobCol::SectorOut, "512");
  fs::remove(outDir / "bench.bin");
  const auto t0 = std::chrono::steady_clock::now();
  run.RunClicked();
  const double s = seconds(t0);
  fs::remove(outDir / "bench.bin");
  return bytes / 1e6 / s;
}

double ddRun(const std::string& source, std::uint64_t bytes, const fs::path& outDir) {
  const std::string out = (outDir / "dd.bin").string();
  const std::string cmd = "dd if='" + source + "' of='" + out + "' bs=128K conv=fdatasync status=none";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) return 0;
  const double s = seconds(t0);
  fs::remove(out);
  return bytes / 1e6 / s;
}

std::string sh(const std::string& cmd) {
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

void warm(const std::string& path) { std::system(("cat '" + path + "' > /dev/null").c_str()); }

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t bytes = mib * 1024 * 1024;
  const fs::path dir = fs::temp_directory_path() / ("mdi-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "out");
  const std::string src = (dir / "src.img").string();
  {
    std::ofstream f(src, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + i / 520);
    for (std::uint64_t i = 0; i < mib; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  std::printf("source: %llu MiB file, outputs in %s (fdatasync at close)\n", static_cast<unsigned long long>(mib),
              (dir / "out").c_str());
  warm(src);
  const double dd = ddRun(src, bytes, dir / "out");
  warm(src);
  const double eng = engineRun(src, bytes, dir / "out", {});
  warm(src);
  const double eng3 = engineRun(src, bytes, dir / "out", {true, false, "512"});
  warm(src);
  const double mut = engineRun(src, bytes, dir / "out", {false, true, "520"});
  std::printf("file, warm cache:   dd bs=128K %8.1f MB/s | engine %8.1f MB/s | ratio engine/dd %.2f\n", dd, eng, eng / dd);
  std::printf("Show Progress on:   engine %8.1f MB/s | ratio checked/unchecked %.2f\n", eng3, eng3 / eng);
  std::printf("mutate 520->512:    engine %8.1f MB/s | ratio mutate/straight %.2f\n", mut, mut / eng);

  const std::string loop = sh("losetup -f --show '" + src + "' 2>/dev/null");
  if (loop.rfind("/dev/loop", 0) == 0) {
    warm(loop);
    const double ddl = ddRun(loop, bytes, dir / "out");
    warm(loop);
    const double engl = engineRun(loop, bytes, dir / "out", {});
    std::system(("losetup -d " + loop).c_str());
    std::printf("loop device:        dd bs=128K %8.1f MB/s | engine %8.1f MB/s | ratio engine/dd %.2f\n", ddl, engl,
                engl / ddl);
  } else {
    std::printf("loop device: skipped (cannot attach a loop device here)\n");
  }
  fs::remove_all(dir);
  return 0;
}
