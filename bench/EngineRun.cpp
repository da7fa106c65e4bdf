#include "bench/EngineRun.h"

#include <sys/resource.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "jobs/JobList.h"
#include "platform/Services.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/PosixAtomicFile.h"
#include "platform/linux/PosixFileAccess.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixSystemInfo.h"
#include "progress/Progress.h"
#include "run/RunController.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/Fakes.h"

namespace mdi::bench {

namespace fs = std::filesystem;

namespace {

// Opens every source as a simulated drive over the real file.
class SimulatedDriveFiles final : public FileAccess {
 public:
  // timingOf: drives of other speeds, by path; the rest are `timing`.
  SimulatedDriveFiles(FileAccess& real, DriveTiming timing, std::map<std::string, DriveTiming> timingOf = {})
      : m_real(real), m_timing(timing), m_timingOf(std::move(timingOf)) {}
  std::unique_ptr<Source> openSource(const std::string& path) override {
    const auto it = m_timingOf.find(path);
    return std::make_unique<SimulatedDrive>(m_real.openSource(path), it == m_timingOf.end() ? m_timing : it->second,
                                            std::hash<std::string>{}(path));
  }
  std::unique_ptr<Output> createOutput(const std::string& path) override { return m_real.createOutput(path); }
  std::unique_ptr<Output> reopenOutput(const std::string& path) override { return m_real.reopenOutput(path); }

 private:
  FileAccess& m_real;
  DriveTiming m_timing;
  std::map<std::string, DriveTiming> m_timingOf;
};

}  // namespace

double seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

double cpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

void addJobs(FormState& form, const std::vector<std::string>& sources, std::uint64_t bytes, const fs::path& outDir,
             const std::string& sectorIn) {
  setUpJobGrid(form.iGrid2);
  form.run.TargetFolder = outDir.string();
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const int row = form.iGrid2.addRow();
    form.iGrid2.setValue(row, JobCol::ID, kFileId);
    form.iGrid2.setValue(row, JobCol::Model, sources[i]);
    form.iGrid2.setValue(row, JobCol::SizeI, static_cast<std::int64_t>(bytes));
    const fs::path out = outDir / ("bench" + std::to_string(i) + ".bin");
    fs::remove(out);
    form.iGrid2.setValue(row, JobCol::FileName, out.string());
    form.iGrid2.setValue(row, JobCol::SectorIn, sectorIn);
    form.iGrid2.setValue(row, JobCol::SectorOut, "512");
  }
}

void removeOutputs(const fs::path& outDir) {
  for (const auto& e : fs::directory_iterator(outDir)) fs::remove(e.path());
}

void warm(const std::string& path) { std::system(("cat '" + path + "' > /dev/null").c_str()); }

double engineRun(const std::vector<std::string>& sources, std::uint64_t bytes, const fs::path& outDir, const Options& o,
                 const char** pathUsed) {
  FormState form;
  FakeControls ui;
  FakeMessageBox msg;
  FakePickers pickers;
  PosixFileSystem fsys;
  PosixFileAccess real;
  SimulatedDriveFiles simulated(real, o.timing, o.timingOf);
  FileAccess& files = o.simulated ? static_cast<FileAccess&>(simulated) : real;
  FakeDriveTable drives(files);
  MonotonicClock clock;
  FakeEventPump pump;
  FakeLauncher launcher;
  FakeLocale locale;
  LinuxCycleIoFactory io(o.path);
  PosixAtomicFile records;
  PosixSystemInfo system;
  Services sv{ui, msg, pickers, fsys, files, drives, clock, pump, launcher, locale, io, records, system};
  Progress progress(form, ui, clock, locale);
  RunController run(form, sv, progress);
  addJobs(form, sources, bytes, outDir, o.sectorIn);
  form.Options.hashes = o.hashes;
  form.Options.layout = o.layout;
  form.Options.goPastErrors = o.goPastErrors;
  form.Options.retryPasses = o.retryPasses;
  ui.setChecked(Ctl::Check3, o.check3);
  ui.setChecked(Ctl::Check2, o.mutate);
  const auto t0 = std::chrono::steady_clock::now();
  if (o.during) pump.every([&] { o.during(form, seconds(t0)); });
  run.RunClicked();
  const double s = seconds(t0);
  if (pathUsed) *pathUsed = io.lastPath();
  if (o.inspect) o.inspect(form);
  removeOutputs(outDir);
  return static_cast<double>(bytes * sources.size()) / 1e6 / s;
}

}  // namespace mdi::bench
