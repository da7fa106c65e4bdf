#pragma once
// One whole run of the copy engine for the benchmarks: the real engine over
// the real files (or simulated drives over them), with fake window controls,
// timed from Run to the last file closed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "jobs/FormState.h"
#include "platform/linux/UringCycleIo.h"
#include "support/Hasher.h"
#include "support/SectorLayoutKind.h"
#include "tests/fakes/SimulatedDrive.h"

namespace mdi::bench {

double seconds(std::chrono::steady_clock::time_point a);
// CPU seconds, user and system, of this process (RUSAGE_SELF) or of its
// waited-for children (RUSAGE_CHILDREN).
double cpuSeconds(int who);

struct Options {
  bool check3 = false;
  bool mutate = false;
  std::string sectorIn = "512";
  IoPath path = IoPath::Auto;
  bool simulated = false;  // sources behave as drives of `timing`
  HashAlgos hashes{};      // none: the figures of the copy alone
  SectorLayout layout = SectorLayout::DataFirst;
  DriveTiming timing{};
  std::map<std::string, DriveTiming> timingOf{};  // per source path, over `timing`
  bool goPastErrors = false;
  int retryPasses = 0;
  // Called once the run has ended, before the outputs are removed: the
  // form holds each job's status and file name.
  std::function<void(const FormState&)> inspect{};
  // Called at every event pump of the run, with the seconds since Run.
  std::function<void(const FormState&, double)> during{};
};

// Adds one job per source, each `bytes` long, writing into outDir.
void addJobs(FormState& form, const std::vector<std::string>& sources, std::uint64_t bytes,
             const std::filesystem::path& outDir, const std::string& sectorIn);
void removeOutputs(const std::filesystem::path& outDir);
// Reads the file through once, so its pages are in the page cache.
void warm(const std::string& path);

// One run of the engine over `sources`, each `bytes` long; returns the
// aggregate MB/s of source bytes. pathUsed: the I/O path it ran on.
double engineRun(const std::vector<std::string>& sources, std::uint64_t bytes, const std::filesystem::path& outDir,
                 const Options& o, const char** pathUsed = nullptr);

// Best of `n` runs: the machine is shared, and the best run is the one the
// rest of the system disturbed least.
template <class F>
double best(int n, F&& f) {
  double b = 0;
  for (int i = 0; i < n; ++i) b = std::max(b, f());
  return b;
}

// The middle of a series of figures (the mean of the middle two for an even
// count): one disturbed run moves it less than it moves a mean or a best.
inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace mdi::bench
