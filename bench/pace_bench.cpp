// Every drive at its own pace, measured on drives with real jitter:
//   - 4 equal drives: loop devices over files of the fault filesystem, each
//     read rate-limited with a random latency per read; the engine (1 job,
//     4 jobs) against 4 dd bs=128K and 4 ddrescue in parallel on the same
//     devices, in the same run;
//   - a small slow drive (30 MB/s) beside a large fast one (120 MB/s, 4x the
//     size): together against the slower of the two alone;
//   - 4 simulated 1 GB/s drives of 520-byte sectors, in-process: sector
//     mutate against straight.
// Outputs are fdatasync'ed at close by the engine, dd (conv=fdatasync) and
// ddrescue (-y is not used; its file is synced by a sync of the file after).
// Loop devices' caches are flushed before every run. Needs root, /dev/fuse
// and loop devices; says why and skips the first two parts without them.
//
//   build/bench/pace_bench [drive-MiB] [MB/s per drive] [sections]
// sections: "drives" (the first two parts), "mutate", or both (the default).
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/EngineRun.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/fusedev/FaultFs.h"

namespace fs = std::filesystem;
using namespace mdi;
using namespace mdi::bench;
using namespace mdi::fusedev;

namespace {

void flush(const std::vector<std::string>& devices) {
  for (const auto& d : devices) std::system(("blockdev --flushbufs " + d + " 2>/dev/null").c_str());
}

// Runs one shell command per device at once and waits for all; aggregate MB/s.
double parallel(const std::vector<std::string>& devices, std::uint64_t bytes,
                const std::function<std::string(std::size_t, const std::string&)>& command) {
  flush(devices);
  std::string script;
  for (std::size_t i = 0; i < devices.size(); ++i) script += command(i, devices[i]) + " & ";
  script += "wait";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(script.c_str()) != 0) return 0;
  return static_cast<double>(bytes * devices.size()) / 1e6 / seconds(t0);
}

double engineOn(const std::vector<std::string>& devices, std::uint64_t bytes, const fs::path& out,
                IoPath path = IoPath::Auto) {
  flush(devices);
  Options o;
  o.path = path;
  return engineRun(devices, bytes, out, o);
}

// Sets each device's read-ahead to `sectors` of the kernel's 512-byte
// units; returns what each had, to be set back the same way. Throws when
// the kernel refuses.
std::vector<unsigned long> exchangeReadAhead(const std::vector<std::string>& devices,
                                             const std::vector<unsigned long>& sectors) {
  std::vector<unsigned long> before;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const int fd = ::open(devices[i].c_str(), O_RDONLY | O_CLOEXEC);
    long was = 0;
    const bool ok = fd >= 0 && ::ioctl(fd, BLKRAGET, &was) == 0 && ::ioctl(fd, BLKRASET, sectors[i]) == 0;
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (!ok) throw std::system_error(error, std::generic_category(), "read-ahead of " + devices[i]);
    before.push_back(static_cast<unsigned long>(was));
  }
  return before;
}

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 48;
  const std::uint64_t rate = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 52;
  const std::uint64_t bytes = mib << 20;
  const std::string sections = argc > 3 ? argv[3] : "drives,mutate";
  const bool drives = sections.find("drives") != std::string::npos;
  const bool mutateSection = sections.find("mutate") != std::string::npos;
  const fs::path dir = fs::temp_directory_path() / ("mdi-pace-" + std::to_string(::getpid()));
  const fs::path out = dir / "out";
  fs::create_directories(out);

  const std::string why =
      !FaultFs::unavailableReason().empty() ? FaultFs::unavailableReason() : LoopDevice::unavailableReason();
  if (!drives) {
  } else if (!why.empty()) {
    std::printf("Jittery drives: skipped (%s)\n", why.c_str());
  } else {
    FaultFs faultFs(dir / "mnt");
    std::vector<std::unique_ptr<LoopDevice>> loops;
    auto drive = [&](const std::string& name, std::uint64_t size, std::uint64_t mbps, std::uint64_t seed) {
      FaultFile& f = faultFs.add(FileSpec{name, size, seed});
      f.throttle({mbps * 1e6, 200000, 2800000}, seed);  // 0.2-3 ms per read
      loops.push_back(std::make_unique<LoopDevice>(f.path()));
      return loops.back()->path().string();
    };
    std::vector<std::string> equal;
    for (unsigned i = 0; i < 4; ++i) equal.push_back(drive("d" + std::to_string(i), bytes, rate, i + 1));

    std::printf(
        "4 drives of %llu MiB, %llu MB/s each with 0.2-3 ms per read (loop over FUSE), aggregate MB/s"
        " (best of 3):\n",
        static_cast<unsigned long long>(mib), static_cast<unsigned long long>(rate));
    // The kernel reads ahead of dd and ddrescue as far as the device's
    // read-ahead says, and which loop devices a run gets, and what read-ahead
    // each was left with, varies (128 KiB on some here, 2,560 KiB on
    // others). Each comparison is made at both, set here and put back after.
    for (const unsigned kib : {128u, 2560u}) {
      const std::vector<unsigned long> before = exchangeReadAhead(equal, std::vector(equal.size(), kib * 2ul));
      std::printf(" read-ahead %u KiB:\n", kib);
      // Best of 3 each, taken in turns so a disturbance hits every tool alike.
      double one = 0, four = 0, dd = 0;
      for (int round = 0; round < 3; ++round) {
        one = std::max(one, engineOn({equal[0]}, bytes, out));
        four = std::max(four, engineOn(equal, bytes, out));
        dd = std::max(dd, parallel(equal, bytes, [&](std::size_t i, const std::string& d) {
                        return "dd if=" + d + " of='" + (out / ("dd" + std::to_string(i))).string() +
                               "' bs=128K conv=fdatasync status=none";
                      }));
      }
      removeOutputs(out);
      std::printf("  engine 1 job %7.1f | engine 4 jobs %7.1f (%.2fx one) | 4 x dd bs=128K %7.1f | engine/dd %.2f\n",
                  one, four, four / one, dd, four / dd);
      const double ddOne = parallel({equal[0]}, bytes, [&](std::size_t, const std::string& d) {
        return "dd if=" + d + " of='" + (out / "dd").string() + "' bs=128K conv=fdatasync status=none";
      });
      const double fourSync = engineOn(equal, bytes, out, IoPath::Sync);
      std::printf("  1 x dd %7.1f | engine 1 job / dd %.2f\n", ddOne, one / ddOne);
      std::printf("  engine 4 jobs, plain path %7.1f | engine/dd %.2f\n", fourSync, fourSync / dd);
      if (have("ddrescue")) {
        const double rescue = parallel(equal, bytes, [&](std::size_t i, const std::string& d) {
          const std::string o = (out / ("r" + std::to_string(i))).string();
          return "ddrescue -q " + d + " '" + o + "' '" + o + ".map' && sync '" + o + "'";
        });
        removeOutputs(out);
        std::printf("  4 x ddrescue %7.1f | engine/ddrescue %.2f\n", rescue, four / rescue);
      }
      exchangeReadAhead(equal, before);
    }

    // A small slow drive beside a large fast one: each at its own speed.
    const std::uint64_t small = bytes / 2;
    const std::string slow = drive("slow", small, 30, 11);
    const std::string fast = drive("fast", 4 * small, 120, 12);
    auto timed = [&](const std::vector<std::string>& devices, const std::vector<std::uint64_t>& sizes) {
      flush(devices);
      const auto t0 = std::chrono::steady_clock::now();
      // engineRun's size is the listed size; each source is read to its end.
      engineRun(devices, sizes.front(), out, {});
      return seconds(t0);
    };
    const double slowAlone = timed({slow}, {small});
    const double fastAlone = timed({fast}, {4 * small});
    const double both = timed({slow, fast}, {4 * small});
    std::printf("\n%llu MiB at 30 MB/s beside %llu MiB at 120 MB/s, seconds:\n",
                static_cast<unsigned long long>(small >> 20), static_cast<unsigned long long>((4 * small) >> 20));
    std::printf("  slow alone %.2f | fast alone %.2f | together %.2f | together / slower alone %.2f\n", slowAlone,
                fastAlone, both, both / std::max(slowAlone, fastAlone));
    loops.clear();
  }

  // Sector mutate at drive speed.
  if (!mutateSection) {
    fs::remove_all(dir);
    return 0;
  }
  std::vector<std::string> files;
  for (unsigned i = 0; i < 4; ++i) {
    files.push_back((dir / ("sim" + std::to_string(i) + ".img")).string());
    std::ofstream f(files.back(), std::ios::binary);
    std::vector<char> block(1 << 20);
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<char>(k * 131 + i);
    for (std::uint64_t k = 0; k < 2 * mib; ++k) f.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  for (const auto& f : files) std::system(("cat '" + f + "' > /dev/null").c_str());
  Options straight;
  straight.simulated = true;
  straight.timing = DriveTiming{1e9, 100000, 200000};
  Options mutate = straight;
  mutate.mutate = true;
  mutate.sectorIn = "520";
  // Straight and mutate taken in turns, so a disturbance of the machine
  // hits both alike; tmpfs writes alone vary by a quarter from run to run.
  auto compare = [&](const char* label, IoPath path) {
    straight.path = mutate.path = path;
    std::vector<double> s, m;
    for (int round = 0; round < 5; ++round) {
      s.push_back(engineRun(files, 2 * bytes, out, straight));
      m.push_back(engineRun(files, 2 * bytes, out, mutate));
    }
    std::printf("  %-11s straight %7.1f | mutate 520->512 %7.1f | mutate/straight %.2f\n", label, median(s), median(m),
                median(m) / median(s));
  };
  std::printf("\n4 simulated 1 GB/s drives (0.1-0.3 ms per read), %llu MiB each, aggregate MB/s (median of 5):\n",
              static_cast<unsigned long long>(2 * mib));
  compare("io_uring:", IoPath::Auto);
  compare("plain path:", IoPath::Sync);
  fs::remove_all(dir);
  return 0;
}
