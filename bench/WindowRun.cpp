#include "bench/WindowRun.h"

#include <sys/resource.h>

#include <chrono>

#include "app/HostServices.h"
#include "app/frmMain.h"
#include "bench/EngineRun.h"
#include "run/RunController.h"
#include "tests/fakes/FakeDriveTable.h"
#include "tests/fakes/Fakes.h"

namespace mdi::bench {

double windowRun(const std::string& source, std::uint64_t bytes, const std::filesystem::path& outDir, HashAlgos hashes,
                 double* cpu) {
  FakeMessageBox msg;
  FakePickers pickers;
  FakeLauncher launcher;
  HostServices host;
  FakeDriveTable drives(host.files);
  FrmMainDeps deps;
  deps.msg = &msg;
  deps.pickers = &pickers;
  deps.launcher = &launcher;
  deps.drives = &drives;
  host.lendTo(deps);
  deps.programFolder = outDir.string();
  deps.quit = [] {};
  deps.openDocument = [](const std::string&) {};
  frmMain w(std::move(deps));
  w.startUp();
  addJobs(w.form(), {source}, bytes, outDir, "512");
  w.form().Options.hashes = hashes;
  const double cpu0 = cpuSeconds(RUSAGE_SELF);
  const auto t0 = std::chrono::steady_clock::now();
  w.runController().RunClicked();
  const double s = seconds(t0);
  if (cpu) *cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
  std::error_code ec;
  const bool whole = std::filesystem::file_size(outDir / "bench0.bin", ec) == bytes && !ec;
  return whole ? s : -1;
}

}  // namespace mdi::bench
