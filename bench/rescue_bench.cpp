// Going past read errors on a failing drive, against GNU ddrescue on the
// same device in the same run.
//
// The drive: a loop device over a file of the tests' fault filesystem,
// read at a throttled rate with 0.2-3 ms per read, with three bad single
// sectors, a bad area, two bad sectors at the very end and one sector that
// reads on its second try; every failed read takes 100 ms, as a drive's
// own retries do. The program (Go past read errors, Retry passes 0) and
// `ddrescue -d -r0` (without -d when direct reads fail on the device) take
// turns, best of `rounds` for time:
//   - bytes rescued (the '+' bytes of each map);
//   - failed reads: reads that met a bad area, counted by the file system;
//   - wall time, from start to the image synced.
// Then four drives, one of them this failing one: the three healthy ones'
// time to their last block against their time alone.
//
// Needs root, /dev/fuse and loop devices; says why and stops without them.
//
//   build/bench/rescue_bench [drive-MiB] [MB/s] [rounds]
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/EngineRun.h"
#include "jobs/JobList.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace fs = std::filesystem;
using namespace mdi;
using namespace mdi::bench;
using namespace mdi::fusedev;

namespace {

void flush(const std::string& device) { std::system(("blockdev --flushbufs " + device + " 2>/dev/null").c_str()); }

// The '+' bytes of a ddrescue mapfile.
std::uint64_t rescued(const fs::path& map) {
  std::ifstream in(map);
  std::uint64_t bytes = 0;
  bool status = false;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (!status) {
      status = true;
      continue;
    }
    std::istringstream l(line);
    std::string pos, size, s;
    if (l >> pos >> size >> s && s == "+") bytes += std::stoull(size, nullptr, 16);
  }
  return bytes;
}

struct Figures {
  double seconds = 1e9;
  std::uint64_t rescued = 0;
  std::uint64_t failedReads = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
  const std::uint64_t rate = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 60;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const std::uint64_t bytes = mib << 20;
  const std::string why =
      !FaultFs::unavailableReason().empty() ? FaultFs::unavailableReason() : LoopDevice::unavailableReason();
  if (!why.empty()) {
    std::printf("Failing drive: skipped (%s)\n", why.c_str());
    return 0;
  }
  const fs::path dir = fs::temp_directory_path() / ("mdi-rescue-" + std::to_string(::getpid()));
  const fs::path out = dir / "out";
  fs::create_directories(out);
  {
    FaultFs faultFs(dir / "mnt");
    std::vector<std::unique_ptr<LoopDevice>> loops;
    const DriveTiming timing{rate * 1e6, 200000, 2800000};  // 0.2-3 ms per read
    auto drive = [&](const std::string& name, std::uint64_t seed) -> FaultFile& {
      FaultFile& f = faultFs.add(FileSpec{name, bytes, seed});
      f.throttle(timing, seed);
      loops.push_back(std::make_unique<LoopDevice>(f.path()));
      return f;
    };
    FaultFile& failing = drive("failing", 1);
    const std::string failingDev = loops.back()->path().string();
    auto faults = [&] {
      failing.clearFaults();
      failing.throttle(timing, 1, std::chrono::milliseconds(100));
      for (const std::uint64_t at : {bytes / 7, bytes / 3 + 4096, bytes / 2 + 512})
        failing.failReads(at / 512 * 512, at / 512 * 512 + 512);
      failing.failReads(bytes * 3 / 4, bytes * 3 / 4 + 16 * 1024);                    // a bad area of 32 sectors
      failing.failReads(bytes - 1024, bytes);                                         // the last two sectors
      failing.failReads(bytes / 5 / 512 * 512, bytes / 5 / 512 * 512 + 512, EIO, 1);  // reads at its second try
    };
    const std::uint64_t bad = 3 * 512 + 16 * 1024 + 1024;

    std::printf(
        "A failing drive of %llu MiB at %llu MB/s (loop over FUSE), %llu bytes in bad sectors, 100 ms per "
        "failed read; best of %d:\n",
        static_cast<unsigned long long>(mib), static_cast<unsigned long long>(rate),
        static_cast<unsigned long long>(bad), rounds);
    Figures engine, rescue;
    const bool haveRescue = std::system("command -v ddrescue >/dev/null 2>&1") == 0;
    std::string rescueDirect = "-d ";
    for (int round = 0; round < rounds; ++round) {
      faults();
      flush(failingDev);
      std::uint64_t before = failing.failedReadCount();
      Options o;
      o.goPastErrors = true;
      std::uint64_t got = 0;
      o.inspect = [&](const FormState& form) { got = rescued(form.iGrid2.value(1, JobCol::FileName) + ".map"); };
      const double s = static_cast<double>(bytes) / 1e6 / engineRun({failingDev}, bytes, out, o);
      engine = {std::min(engine.seconds, s), got, failing.failedReadCount() - before};
      if (!haveRescue) continue;
      faults();
      flush(failingDev);
      before = failing.failedReadCount();
      const std::string img = (out / "r.img").string();
      fs::remove(img);
      fs::remove(img + ".map");
      const auto t0 = std::chrono::steady_clock::now();
      std::string cmd = "ddrescue -q " + rescueDirect + "-r0 " + failingDev + " '" + img + "' '" + img + ".map'";
      if (std::system((cmd + " && sync '" + img + "'").c_str()) != 0 && !rescueDirect.empty()) {
        rescueDirect.clear();  // direct reads refused here: as a user would, without -d
        --round;
        continue;
      }
      rescue = {std::min(rescue.seconds, seconds(t0)), rescued(img + ".map"), failing.failedReadCount() - before};
      removeOutputs(out);
    }
    std::printf("  program:  rescued %llu bytes | failed reads %llu | %.2f s\n",
                static_cast<unsigned long long>(engine.rescued), static_cast<unsigned long long>(engine.failedReads),
                engine.seconds);
    if (haveRescue) {
      std::printf("  ddrescue %s-r0: rescued %llu bytes | failed reads %llu | %.2f s\n", rescueDirect.c_str(),
                  static_cast<unsigned long long>(rescue.rescued), static_cast<unsigned long long>(rescue.failedReads),
                  rescue.seconds);
      std::printf(
          "  program/ddrescue: rescued %.4f | failed reads %.2f | time %.2f\n",
          static_cast<double>(engine.rescued) / static_cast<double>(rescue.rescued),
          static_cast<double>(engine.failedReads) / static_cast<double>(std::max<std::uint64_t>(rescue.failedReads, 1)),
          engine.seconds / rescue.seconds);
    } else {
      std::printf("  ddrescue is not installed (Debian package gddrescue): no comparison\n");
    }

    // Three healthy drives beside the failing one: each at its own pace.
    std::vector<std::string> healthy;
    for (unsigned i = 0; i < 3; ++i) {
      drive("h" + std::to_string(i), 10 + i);
      healthy.push_back(loops.back()->path().string());
    }
    // Seconds until each job has read its last block ("Waiting ..."), the
    // slowest of the three healthy ones.
    auto healthyTime = [&](const std::vector<std::string>& devices) {
      for (const auto& d : devices) flush(d);
      std::vector<double> at(devices.size(), 0);
      Options o;
      o.goPastErrors = true;
      o.during = [&](const FormState& form, double s) {
        for (std::size_t i = 0; i < devices.size(); ++i)
          if (at[i] == 0 && form.iGrid2.value(static_cast<int>(i) + 1, JobCol::Status) == "Waiting ...") at[i] = s;
      };
      engineRun(devices, bytes, out, o);
      double slowest = 0;
      for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i] != failingDev) slowest = std::max(slowest, at[i]);
      return slowest;
    };
    double alone = 1e9, beside = 1e9;
    for (int round = 0; round < rounds; ++round) {
      alone = std::min(alone, healthyTime(healthy));
      faults();
      std::vector<std::string> four = healthy;
      four.push_back(failingDev);
      beside = std::min(beside, healthyTime(four));
    }
    std::printf(
        "\nThree healthy drives, the slowest's time to its last block (s): alone %.2f | beside the failing "
        "one %.2f | ratio %.2f\n",
        alone, beside, beside / alone);
    loops.clear();
  }
  fs::remove_all(dir);
  return 0;
}
