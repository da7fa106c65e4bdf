// The program against the tools an operator would reach for instead, on one
// file, rounds interleaved in one process run so each sees the same machine:
//   - from a cold page cache, SHA-256 off: the real window against
//     dd bs=128K conv=fdatasync and ddrescue (then sync of its output);
//   - the same from a warm page cache;
//   - CPU seconds per GiB of each of those runs (the program's whole
//     process from Run to the last file closed, every thread; the tools'
//     whole processes, as children);
//   - SHA-256 on, warm cache, against `openssl speed -evp sha256`, one
//     stream's hashing speed on this machine.
// Figures are medians of the rounds. Every output is synced before its
// time is taken.
//
//   build/bench/peer_bench [file-MiB] [rounds] [target-folder] [sections]
//
// The source file is made in the system's temporary folder (a disk, for the
// cold reads); the images go to target-folder (the same by default; a tmpfs
// such as /dev/shm takes the target disk's speed out of the figures).
// sections: a comma-separated choice of cold, warm and sha (all by default),
// `alone` to leave the peers out (to profile the program), and `plain` to
// have the program's plain path (MDIMAGER_IO=sync) take its turns beside.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/EngineRun.h"
#include "bench/WindowRun.h"

namespace fs = std::filesystem;
using namespace mdi;
using namespace mdi::bench;

namespace {

struct Figure {
  double mbps = 0;
  double cpuPerGiB = 0;
};

// A run returns its seconds, or a negative number when it failed, and puts
// the CPU seconds it cost in *cpu: the window's from Run to the end, as its
// time, not the building of the window; a tool's, its whole process.
using Timed = std::function<double(double* cpu)>;

Figure measure(std::uint64_t bytes, const Timed& run) {
  double cpu = 0;
  const double s = run(&cpu);
  if (s <= 0) return {};
  const double gib = static_cast<double>(bytes) / static_cast<double>(1u << 30);
  return {static_cast<double>(bytes) / 1e6 / s, cpu / gib};
}

double shell(const std::string& cmd, double* cpu) {
  const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = std::chrono::steady_clock::now();
  const int status = std::system(cmd.c_str());
  const double s = seconds(t0);
  *cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
  return status == 0 ? s : -1;
}

// Drops the file's pages from the page cache: the next read comes from the
// disk.
void makeCold(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

// The source goes to disk before any run: its writeback would otherwise
// be charged to whichever run comes first.
void makeSource(const std::string& path, std::uint64_t mib) {
  {
    std::ofstream f(path, std::ios::binary);
    std::mt19937_64 rng(42);
    std::vector<std::uint64_t> block((1u << 20) / sizeof(std::uint64_t));
    for (std::uint64_t i = 0; i < mib; ++i) {
      for (auto& w : block) w = rng();
      f.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
    }
  }
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fdatasync(fd);
    ::close(fd);
  }
}

// One stream's SHA-256 speed as openssl measures it, in MB/s.
double opensslSha256() {
  FILE* p = ::popen("openssl speed -evp sha256 -bytes 1048576 -seconds 3 2>/dev/null | tail -1", "r");
  if (!p) return 0;
  char line[512] = {};
  const bool got = std::fgets(line, sizeof line, p) != nullptr;
  ::pclose(p);
  if (!got) return 0;
  // "sha256   1433000.00k": thousands of bytes per second.
  const std::string s(line);
  const auto k = s.rfind('k');
  const auto sp = s.rfind(' ', k);
  if (k == std::string::npos || sp == std::string::npos) return 0;
  return std::strtod(s.substr(sp + 1, k - sp - 1).c_str(), nullptr) / 1000.0;
}

// Touches most of the memory the system has free, once, then gives it back.
// On a virtual machine the host backs a guest page only when the guest
// first uses it, and that first use cost the run that made it up to twice
// its CPU (a C loop copying 2 GiB into tmpfs: 3.1 s, then 2.0 s and 1.9 s)
// whichever tool it was: after this, every run meets memory already backed.
void touchFreeMemory() {
  std::ifstream info("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  while (info >> key >> kib && key != "MemAvailable:") info.ignore(256, '\n');
  const std::uint64_t keep = 2ull << 30;  // for the system meanwhile
  if (key != "MemAvailable:" || kib * 1024 <= keep) return;
  const std::size_t chunk = 256u << 20;
  std::vector<void*> held;
  for (std::uint64_t n = (kib * 1024 - keep) / chunk; n > 0; --n) {
    void* p = ::mmap(nullptr, chunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) break;
    std::memset(p, 1, chunk);
    held.push_back(p);
  }
  for (void* p : held) ::munmap(p, chunk);
}

// Free page reporting gives memory the guest frees back to the host, and
// this machine's kernel does so at once (its min_free_ms is 0): every run
// then meets memory the host must back again, as the first use above, and
// the same copy's CPU varied up to fourfold from one run to the next. A
// delay of a minute keeps freed pages backed from one run to the next.
void warnOfPageReporting() {
  std::ifstream f("/sys/module/page_reporting/parameters/min_free_ms");
  long ms = -1;
  if (!(f >> ms) || ms >= 60000) return;
  std::printf(
      "note: freed memory goes back to the host after %ld ms (free page reporting); figures will vary\n"
      "      from run to run. To delay it while benchmarking (as root; restore it after):\n"
      "      echo 60000 > /sys/module/page_reporting/parameters/min_free_ms\n",
      ms);
  std::fflush(stdout);
}

struct Series {
  std::vector<double> mbps, cpu;
  void add(const Figure& f) {
    mbps.push_back(f.mbps);
    cpu.push_back(f.cpuPerGiB);
  }
  double rate() const { return median(mbps); }
  double cpuPerGiB() const { return median(cpu); }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 4;
  const std::string tag = "mdi-peer-bench-" + std::to_string(::getpid());
  const fs::path dir = fs::temp_directory_path() / tag;
  const fs::path out = (argc > 3 ? fs::path(argv[3]) / tag : dir) / "out";
  const std::string chosen = argc > 4 ? "," + std::string(argv[4]) + "," : "";
  const auto wanted = [&](const char* section) {
    return chosen.empty() || chosen.find("," + std::string(section) + ",") != std::string::npos;
  };
  fs::create_directories(dir);
  fs::create_directories(out);
  const std::string src = (dir / "src.img").string();
  const std::string img = (out / "peer.bin").string();
  const std::string map = (dir / "peer.map").string();
  const std::uint64_t bytes = mib << 20;
  warnOfPageReporting();
  touchFreeMemory();
  makeSource(src, mib);
  const bool haveDdrescue = std::system("command -v ddrescue >/dev/null") == 0;
  std::printf("%llu MiB file in %s, images in %s, %d rounds, medians; MB/s of source bytes\n",
              static_cast<unsigned long long>(mib), dir.c_str(), out.c_str(), rounds);

  const std::string dd = "dd if='" + src + "' of='" + img + "' bs=128K conv=fdatasync status=none";
  const std::string ddrescue =
      "rm -f '" + map + "' && ddrescue -q '" + src + "' '" + img + "' '" + map + "' && sync '" + img + "'";
  const auto clean = [&] {
    fs::remove(img);
    fs::remove(map);
    removeOutputs(out);
  };
  // The program's plain path (MDIMAGER_IO=sync) takes its turns too when
  // asked for: two ways of the program are only comparable in one process,
  // where the machine's drift from run to run falls on both alike.
  const bool plainToo = chosen.find(",plain,") != std::string::npos;
  const auto plainRun = [&](double* cpu) {
    ::setenv("MDIMAGER_IO", "sync", 1);
    const double seconds = windowRun(src, bytes, out, {}, cpu);
    ::unsetenv("MDIMAGER_IO");
    return seconds;
  };
  enum { Program, Dd, Ddrescue, Plain, Tools };
  Series cold[Tools], warmed[Tools], hashed;
  // Round 0 only warms up: the first run to fill memory the machine has not
  // used yet pays for it (on a virtual machine, up to twice the CPU of the
  // copy), whichever tool it is. Each round starts with another tool.
  const bool alone = wanted("alone") && !chosen.empty();
  for (int round = 0; round <= rounds; ++round) {
    for (const bool isCold : {true, false}) {
      if (!wanted(isCold ? "cold" : "warm")) continue;
      Series* s = isCold ? cold : warmed;
      const Timed runs[Tools] = {[&](double* cpu) { return windowRun(src, bytes, out, {}, cpu); },
                                 [&](double* cpu) { return shell(dd, cpu); },
                                 [&](double* cpu) { return shell(ddrescue, cpu); }, plainRun};
      for (int k = 0; k < Tools; ++k) {
        const int tool = (k + round) % Tools;
        if (tool == Plain ? !plainToo : tool != Program && (alone || (tool == Ddrescue && !haveDdrescue))) continue;
        clean();
        if (isCold) makeCold(src);
        else warm(src);
        const Figure f = measure(bytes, runs[tool]);
        if (round > 0) s[tool].add(f);
      }
    }
    if (!wanted("sha")) continue;
    clean();
    warm(src);
    const Figure f = measure(bytes, [&](double* cpu) { return windowRun(src, bytes, out, {HashAlgo::Sha256}, cpu); });
    if (round > 0) hashed.add(f);
  }
  clean();

  for (const bool isCold : {true, false}) {
    if (!wanted(isCold ? "cold" : "warm")) continue;
    const Series* s = isCold ? cold : warmed;
    const double peer = std::max(s[Dd].rate(), s[Ddrescue].rate());
    std::printf(
        "\n%s cache, SHA-256 off:\n"
        "  MB/s          program %7.1f | dd %7.1f | ddrescue %7.1f | program/best %.2f\n"
        "  CPU s per GiB program %7.2f | dd %7.2f | ddrescue %7.2f | program/dd   %.2f\n",
        isCold ? "Cold" : "Warm", s[Program].rate(), s[Dd].rate(), s[Ddrescue].rate(), s[Program].rate() / peer,
        s[Program].cpuPerGiB(), s[Dd].cpuPerGiB(), s[Ddrescue].cpuPerGiB(), s[Program].cpuPerGiB() / s[Dd].cpuPerGiB());
    // The same ratio round by round: how far this machine moves it.
    if (!alone && !s[Program].mbps.empty()) {
      std::vector<double> ratios;
      for (std::size_t r = 0; r < s[Program].mbps.size(); ++r) {
        const double best = std::max(s[Dd].mbps.at(r), haveDdrescue ? s[Ddrescue].mbps.at(r) : 0.0);
        ratios.push_back(s[Program].mbps[r] / best);
      }
      std::ranges::sort(ratios);
      std::printf("  program/best round by round: lowest %.2f | median %.2f | highest %.2f\n", ratios.front(),
                  median(ratios), ratios.back());
    }
    if (plainToo)
      std::printf("  plain path    MB/s %7.1f | /best %.2f | CPU s per GiB %.2f | /dd %.2f\n", s[Plain].rate(),
                  s[Plain].rate() / peer, s[Plain].cpuPerGiB(), s[Plain].cpuPerGiB() / s[Dd].cpuPerGiB());
  }
  const double sha = wanted("sha") ? opensslSha256() : 0;
  if (sha > 0)
    std::printf(
        "\nWarm cache, SHA-256 on:\n"
        "  MB/s          program %7.1f | openssl speed -evp sha256 %7.1f | program/openssl %.2f\n",
        hashed.rate(), sha, hashed.rate() / sha);
  fs::remove_all(out.parent_path());
  fs::remove_all(dir);
  return 0;
}
