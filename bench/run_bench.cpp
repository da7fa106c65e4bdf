// Whole-run throughput of the copy engine, every figure from one process run
// on the same data:
//   - 1 and 4 jobs from simulated drives (150 MB/s, 0.1 ms access each),
//     straight and sector mutate, plain I/O path against io_uring;
//   - a file (page cache warm) and a loop device over it, engine against
//     dd bs=128K, which the bench runs itself;
//   - sector mutate 520 -> 512 against straight on the same file;
//   - 4 simulated 520-byte drives through each sector layout: 4 KiB groups,
//     and Data first on drives that carry PI (every sector checked),
//     against Data first on drives without PI (the check ends with its
//     64-sector sample), so the cost of the layouts and the check shows;
//   - the straight run through the real main window (offscreen) against the
//     engine alone.
// Outputs are fdatasync'ed at close by both the engine and dd. Prints MB/s
// of source bytes and every ratio.
//
//   build/bench/run_bench [file-MiB] [simulated-drive-MiB] [sections]
//
// sections is a comma-separated choice of sim, hash, layouts, file,
// progress, mutate, window and loop (all by default); one section alone is handy under a
// profiler. The ratios to the engine alone run it as well.
#include <sys/prctl.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/EngineRun.h"
#include "bench/PiSector.h"
#include "bench/WindowRun.h"
#include "platform/linux/UringCycleIo.h"
#include "tests/fakes/LoopDevice.h"
#include "tests/fakes/SimulatedDrive.h"

namespace fs = std::filesystem;
using namespace mdi;
using namespace mdi::bench;

namespace {

double ddRun(const std::string& source, std::uint64_t bytes, const fs::path& outDir) {
  const std::string out = (outDir / "dd.bin").string();
  const std::string cmd = "dd if='" + source + "' of='" + out + "' bs=128K conv=fdatasync status=none";
  const auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) return 0;
  const double s = seconds(t0);
  fs::remove(out);
  return static_cast<double>(bytes) / 1e6 / s;
}

void makeSource(const std::string& path, std::uint64_t mib, unsigned seed) {
  std::ofstream f(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + i / 520 + seed);
  for (std::uint64_t i = 0; i < mib; ++i) f.write(block.data(), static_cast<std::streamsize>(block.size()));
}

// 520-byte sectors that carry valid type-1 protection information.
void makePiSource(const std::string& path, std::uint64_t mib, unsigned seed) {
  std::vector<std::byte> data((mib << 20) / 520 * 520);
  for (std::size_t k = 0; k < data.size() / 520; ++k) {
    std::byte* sector = data.data() + k * 520;
    for (std::size_t i = 0; i < 512; ++i) sector[i] = static_cast<std::byte>(i * 131 + k + seed);
    sealType1(sector, static_cast<std::uint32_t>(k));
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  // Sleeps of the plain path and timeouts of io_uring both to the microsecond.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const std::uint64_t simMib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 64;
  const std::string chosen = argc > 3 ? "," + std::string(argv[3]) + "," : "";
  const auto wanted = [&](const char* section) {
    return chosen.empty() || chosen.find("," + std::string(section) + ",") != std::string::npos;
  };
  const std::uint64_t bytes = mib << 20;
  const std::uint64_t simBytes = simMib << 20;
  const fs::path dir = fs::temp_directory_path() / ("mdi-bench-" + std::to_string(::getpid()));
  const fs::path out = dir / "out";
  fs::create_directories(out);
  const std::string src = (dir / "src.img").string();
  makeSource(src, mib, 0);
  std::vector<std::string> drives;
  for (unsigned i = 0; i < 4; ++i) {
    drives.push_back((dir / ("drive" + std::to_string(i) + ".img")).string());
    makeSource(drives.back(), simMib, i + 1);
    warm(drives.back());
  }
  const char* uringPath = "";
  engineRun({drives[0]}, 1 << 20, out, {}, &uringPath);
  std::printf("I/O path in use: %s; outputs in %s (fdatasync at close)\n\n", uringPath, out.c_str());

  if (wanted("sim"))
    std::printf("Simulated drives (150 MB/s, 0.1 ms access), %llu MiB each, aggregate MB/s:\n",
                static_cast<unsigned long long>(simMib));
  for (const bool mutate : {false, true}) {
    if (!wanted("sim")) break;
    double r[2][2];  // [path][jobs]
    for (const IoPath p : {IoPath::Sync, IoPath::Auto}) {
      for (const std::size_t n : {1u, 4u}) {
        Options o{false, mutate, mutate ? "520" : "512", p, true};
        r[p == IoPath::Auto][n == 4] = engineRun(
            std::vector<std::string>(drives.begin(), drives.begin() + static_cast<long>(n)), simBytes, out, o);
      }
    }
    std::printf("  %-8s sync:     1 job %7.1f | 4 jobs %7.1f | 4/1 %.2f\n", mutate ? "mutate" : "straight", r[0][0],
                r[0][1], r[0][1] / r[0][0]);
    std::printf("  %-8s io_uring: 1 job %7.1f | 4 jobs %7.1f | 4/1 %.2f | 4 jobs io_uring/sync %.2f\n",
                mutate ? "mutate" : "straight", r[1][0], r[1][1], r[1][1] / r[1][0], r[1][1] / r[0][1]);
  }

  if (wanted("hash")) {
    // Hashing while copying must not slow a run down at drive speed.
    Options plain{false, false, "512", IoPath::Auto, true};
    Options hashed = plain;
    hashed.hashes = {HashAlgo::Sha256};
    const double off = best(3, [&] { return engineRun(drives, simBytes, out, plain); });
    const double on = best(3, [&] { return engineRun(drives, simBytes, out, hashed); });
    std::printf("\nSHA-256 while copying, 4 simulated drives: off %7.1f | on %7.1f | on/off %.2f\n", off, on, on / off);
    warm(src);
    plain.simulated = hashed.simulated = false;
    const double foff = best(3, [&] { return engineRun({src}, bytes, out, plain); });
    const double fon = best(3, [&] { return engineRun({src}, bytes, out, hashed); });
    std::printf("SHA-256 while copying, %llu MiB warm file: off %7.1f | on %7.1f | on/off %.2f\n",
                static_cast<unsigned long long>(mib), foff, fon, fon / foff);
  }

  if (wanted("layouts")) {
    // Layouts and the PI check must keep up with drives: each against Data
    // first on drives without PI, the conversion as it always was.
    std::vector<std::string> piDrives;
    for (unsigned i = 0; i < 4; ++i) {
      piDrives.push_back((dir / ("pi" + std::to_string(i) + ".img")).string());
      makePiSource(piDrives.back(), simMib, i + 1);
      warm(piDrives.back());
    }
    const std::uint64_t piBytes = fs::file_size(piDrives[0]);
    Options o{false, true, "520", IoPath::Auto, true};
    const double plain = best(3, [&] { return engineRun(drives, piBytes, out, o); });
    o.layout = SectorLayout::Groups4K;
    const double groups = best(3, [&] { return engineRun(drives, piBytes, out, o); });
    o.layout = SectorLayout::DataFirst;
    const double checked = best(3, [&] { return engineRun(piDrives, piBytes, out, o); });
    std::printf(
        "\nSector layouts, 4 simulated 520-byte drives, aggregate MB/s:\n"
        "  Data first, no PI %7.1f | 4 KiB groups %7.1f (%.2f) | Data first, PI checked %7.1f (%.2f)\n",
        plain, groups, groups / plain, checked, checked / plain);
    for (const auto& p : piDrives) fs::remove(p);
  }

  const bool fileRatios = wanted("file") || wanted("progress") || wanted("mutate") || wanted("window");
  if (fileRatios || wanted("loop"))
    std::printf("\n%llu MiB file, page cache warm, MB/s (best of 3):\n", static_cast<unsigned long long>(mib));
  warm(src);
  const double eng = fileRatios ? best(3, [&] { return engineRun({src}, bytes, out, {}); }) : 0;
  if (wanted("file")) {
    const double dd = best(3, [&] { return ddRun(src, bytes, out); });
    const double engSync = best(3, [&] { return engineRun({src}, bytes, out, {false, false, "512", IoPath::Sync}); });
    std::printf("  file:            dd bs=128K %8.1f | engine %8.1f | engine/dd %.2f | sync engine %8.1f\n", dd, eng,
                eng / dd, engSync);
  }
  if (wanted("progress")) {
    const double eng3 = best(3, [&] { return engineRun({src}, bytes, out, {true, false, "512"}); });
    std::printf("  Show Progress:   engine %8.1f | checked/unchecked %.2f\n", eng3, eng3 / eng);
  }
  if (wanted("mutate")) {
    const double mut = best(3, [&] { return engineRun({src}, bytes, out, {false, true, "520"}); });
    std::printf("  mutate 520->512: engine %8.1f | mutate/straight %.2f\n", mut, mut / eng);
  }
  if (wanted("window")) {
    const double win = best(3, [&] {
      const double s = windowRun(src, bytes, out);
      removeOutputs(out);
      return static_cast<double>(bytes) / 1e6 / s;
    });
    std::printf("  window:          offscreen %8.1f | window/engine %.2f\n", win, win / eng);
  }

  if (const std::string why = LoopDevice::unavailableReason(); wanted("loop") && why.empty()) {
    const LoopDevice device(src);
    const std::string loop = device.path().string();
    warm(loop);
    const double ddl = best(3, [&] { return ddRun(loop, bytes, out); });
    const double engl = best(3, [&] { return engineRun({loop}, bytes, out, {}); });
    std::printf("  loop device:     dd bs=128K %8.1f | engine %8.1f | engine/dd %.2f\n", ddl, engl, engl / ddl);
  } else if (wanted("loop")) {
    std::printf("  loop device: skipped (%s)\n", why.c_str());
  }
  fs::remove_all(dir);
  return 0;
}
