// The two I/O paths of the copy loops against each other, on real files:
// every cycle's read and write outcomes, and the bytes that land, must be
// the same whichever path carries them.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>

#include "platform/LaneCycleIo.h"
#include "tests/engine/RunFixture.h"
#include "tests/fakes/SimulatedDrive.h"

namespace mdi::test {
namespace {
using mdi::PrintTo;

CycleIo::Step stepOf(std::size_t readLength) {
  CycleIo::Step st;
  st.readLength = readLength;
  return st;
}

// One lane's script: the read length of each cycle.
enum class Kind { File, Plain, Slow };  // Plain: no descriptor (in memory); Slow: a drive's latency
struct LaneScript {
  std::vector<std::byte> data;
  std::vector<std::size_t> lengths;
  std::vector<BadRange> bad{};
  Kind kind = Kind::File;
  std::size_t piece = 0;      // each step read in pieces of this length
  std::size_t endsAfter = 0;  // prepare ends each step after this many pieces
  // The reads that should land: each step's pieces up to endsAfter.
  std::vector<std::size_t> reads() const {
    std::vector<std::size_t> out;
    for (std::size_t len : lengths)
      for (std::size_t at = 0, n = 0; at < len && (endsAfter == 0 || n < endsAfter); at += piece ? piece : len, ++n)
        out.push_back(std::min(piece ? piece : len, len - at));
    return out;
  }
  // What the first step reads and writes, with no fault.
  std::size_t firstStep() const {
    const std::size_t len = lengths.empty() ? 0 : lengths[0];
    return std::min({len, endsAfter ? endsAfter * piece : len, data.size()});
  }
};

struct Trace {
  std::vector<std::string> events;
  std::vector<std::vector<std::byte>> outputs;
};

// Runs the scripts through one path. Each cycle's prepare step reverses
// the block, so a write carrying the wrong buffer shows up.
Trace runScripts(const fs::path& dir, bool uring, const std::vector<LaneScript>& scripts) {
  PosixFileAccess files;
  std::vector<std::unique_ptr<Source>> sources;
  std::vector<std::unique_ptr<Output>> outputs;
  std::vector<CycleIo::Lane> lanes;
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    const auto in = dir / ("in" + std::to_string(i));
    writeBytes(in, scripts[i].data);
    std::unique_ptr<Source> s = scripts[i].kind == Kind::Plain ? std::make_unique<MemorySource>(scripts[i].data)
                                                               : files.openSource(in.string());
    // io_uring waits a slow read out with a timeout request beside it.
    if (scripts[i].kind == Kind::Slow) s = std::make_unique<SimulatedDrive>(std::move(s), DriveTiming{150e6, 200000});
    if (!scripts[i].bad.empty()) s = std::make_unique<FaultySource>(std::move(s), scripts[i].bad);
    sources.push_back(std::move(s));
    outputs.push_back(files.createOutput((dir / ("out" + std::to_string(i) + (uring ? "u" : "s"))).string()));
    lanes.push_back({sources.back().get(), outputs.back().get()});
  }
  std::unique_ptr<CycleIo> io = uring ? makeUringCycleIo(lanes) : std::make_unique<LaneCycleIo>(lanes);
  EXPECT_NE(io, nullptr);
  Trace t;
  std::vector<std::vector<std::byte>> prepared(scripts.size());
  std::vector<CycleIo::Step> steps(scripts.size());
  std::vector<std::size_t> pieces(scripts.size());
  const CycleIo::Prepare reverse = [&](std::size_t lane, std::span<const std::byte> d) {
    prepared[lane].assign(d.rbegin(), d.rend());
    if (++pieces[lane] == scripts[lane].endsAfter) steps[lane].endsHere = true;
    return std::span<const std::byte>(prepared[lane]);
  };
  std::size_t cycles = 0;
  for (const auto& s : scripts) cycles = std::max(cycles, s.lengths.size());
  for (std::size_t c = 0; c < cycles; ++c) {
    for (std::size_t i = 0; i < scripts.size(); ++i) {
      steps[i] = stepOf(c < scripts[i].lengths.size() ? scripts[i].lengths[c] : 0);
      steps[i].pieceLength = scripts[i].piece;
      pieces[i] = 0;
    }
    io->cycle(steps, reverse);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      t.events.push_back("cycle " + std::to_string(c) + " lane " + std::to_string(i) + " read " +
                         std::to_string(steps[i].read.bytes) + "/" + std::to_string(steps[i].read.error) + " write " +
                         std::to_string(steps[i].write.bytes) + "/" + std::to_string(steps[i].write.error));
    }
  }
  io.reset();
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(outputs[i]->close(), 0);
    t.outputs.push_back(readFile(dir / ("out" + std::to_string(i) + (uring ? "u" : "s"))));
  }
  return t;
}

// What the blocks read in turn should have written: each one reversed.
std::vector<std::byte> expectedOutput(const std::vector<std::byte>& data, const std::vector<std::size_t>& lengths) {
  std::vector<std::byte> out;
  std::size_t pos = 0;
  for (std::size_t len : lengths) {
    const std::size_t n = std::min(len, data.size() - std::min(pos, data.size()));
    out.insert(out.end(), std::make_reverse_iterator(data.begin() + static_cast<long>(pos + n)),
               std::make_reverse_iterator(data.begin() + static_cast<long>(pos)));
    pos += n;
  }
  return out;
}

struct Scenario {
  const char* name;
  std::vector<LaneScript> lanes;
};

// Where io_uring is not offered, RunFixture skips them; the plain-path
// rerun leaves these tests out.
class CycleIoPaths : public RunFixture, public ::testing::WithParamInterface<Scenario> {};

TEST_P(CycleIoPaths, SameOutcomesAndBytesOnBothPaths) {
  const auto& lanes = GetParam().lanes;
  const Trace sync = runScripts(dir, false, lanes);
  const Trace uring = runScripts(dir, true, lanes);
  EXPECT_EQ(uring.events, sync.events);
  ASSERT_EQ(uring.outputs.size(), lanes.size());
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    EXPECT_EQ(uring.outputs[i], sync.outputs[i]) << "lane " << i;
    if (!lanes[i].bad.empty()) continue;
    EXPECT_EQ(uring.outputs[i], expectedOutput(lanes[i].data, lanes[i].reads())) << "lane " << i;
    const std::string first = std::to_string(lanes[i].firstStep()) + "/0";
    EXPECT_EQ(sync.events[i], "cycle 0 lane " + std::to_string(i) + " read " + first + " write " + first);
  }
}

std::vector<std::size_t> repeat(std::size_t len, std::size_t n) { return std::vector<std::size_t>(n, len); }

INSTANTIATE_TEST_SUITE_P(
    Scripts, CycleIoPaths,
    ::testing::Values(
        // Lanes of different lengths end in different cycles: one has a
        // partial last block, one ends on a block boundary, and the empty
        // one ends at once.
        Scenario("LanesEndApart", {{patternBytes(5 * 4096 + 100, 1), repeat(4096, 8)},
                                   {patternBytes(2 * 4096, 2), repeat(4096, 8)},
                                   {{}, repeat(4096, 3)}}),
        // A source with no descriptor beside positioned ones.
        Scenario("PlainBesidePositioned", {{patternBytes(4 * 4096, 5), repeat(4096, 6), {}, Kind::Plain},
                                           {patternBytes(4 * 4096, 6), repeat(4096, 6)}}),
        // A failing stretch mid-source: the reads before it are positioned,
        // the failing one is served plainly, and reading goes on after it.
        Scenario("FailingStretch",
                 {{patternBytes(8 * 4096, 7), repeat(4096, 10), {{3 * 4096 + 10, 3 * 4096 + 20, EIO}}}}),
        // Steps read in pieces: one falls short at the source's end and
        // ends its step; prepare ends another's steps early. (A failing
        // piece ends its step too: the runs' oracle shows it.)
        Scenario("StepsInPieces", {{patternBytes(5 * 4096 + 100, 13), repeat(4 * 4096, 3), {}, Kind::File, 4096},
                                   {patternBytes(6 * 4096, 14), repeat(4 * 4096, 4), {}, Kind::File, 4096, 2}}),
        // Sources that take time per read, as drives do.
        Scenario("SlowDrives", {{patternBytes(6 * 8192 + 7, 9), repeat(8192, 8), {}, Kind::Slow},
                                {patternBytes(6 * 8192 + 7, 12), repeat(8192, 8), {}, Kind::Slow}})),
    ByName{});

// An output is never opened through a symbolic link, even one made after
// the run's checks: the open fails, and the file the link names is untouched.
using OutputFiles = RunFixture;
TEST_F(OutputFiles, AreNeverOpenedThroughASymlink) {
  PosixFileAccess files;
  const Bytes kept = patternBytes(10, 1);
  writeBytes(dir / "elsewhere", kept);
  fs::create_symlink(dir / "elsewhere", dir / "link");
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  for (const char* name : {"link", "dangling"}) {
    EXPECT_EQ(files.createOutput((dir / name).string())->write(patternBytes(4, 2)).error, ELOOP) << name;
    EXPECT_EQ(files.reopenOutput((dir / name).string())->write(patternBytes(4, 2)).error, ELOOP) << name;
  }
  EXPECT_TRUE(readFile(dir / "elsewhere") == kept);
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// Bytes handed to prepare with their owner stay as they were read for as
// long as anyone holds the owner, however many reads follow: a hash that
// lags behind the copy hashes what was copied.
using CycleIoReads = RunFixture;
TEST_F(CycleIoReads, BytesHeldByTheirOwnerAreNeverReadIntoAgain) {
  const std::size_t block = 4096;
  const auto data = patternBytes(12 * block, 21);
  PosixFileAccess files;
  auto source = files.openSource(src("in", data));
  auto out = files.createOutput((dir / "copy").string());
  auto io = makeUringCycleIo({{source.get(), out.get()}});
  ASSERT_NE(io, nullptr);
  std::vector<CycleIo::Step> steps(1);
  struct Held {
    std::shared_ptr<const void> owner;
    std::span<const std::byte> bytes;
  };
  std::vector<Held> held;
  for (int c = 0; c < 13; ++c) {
    steps[0] = stepOf(block);
    io->cycle(steps, [&](std::size_t, std::span<const std::byte> d) {
      if (!d.empty()) held.push_back({steps[0].readOwner, d});
      return d;
    });
  }
  io.reset();
  EXPECT_EQ(out->close(), 0);
  EXPECT_EQ(readFile(dir / "copy"), data);
  ASSERT_EQ(held.size(), 12u);
  for (std::size_t k = 0; k < held.size(); ++k) {
    ASSERT_NE(held[k].owner, nullptr) << "block " << k;
    EXPECT_TRUE(std::ranges::equal(held[k].bytes, std::span(data).subspan(k * block, block))) << "block " << k;
  }
}

// The child's side of the fallback test: refuses io_uring_setup with
// ENOSYS, then copies through the factory. Exit code 0 when all went well.
int fallbackChild(const fs::path& dir, const std::vector<std::byte>& data) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog prog{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
    return 3;
  PosixFileAccess files;
  auto src = files.openSource((dir / "in").string());
  auto out = files.createOutput((dir / "copy").string());
  LinuxCycleIoFactory factory(IoPath::Auto);
  auto io = factory.create({{src.get(), out.get()}});
  if (std::string(factory.lastPath()) != "sync") return 4;
  std::vector<CycleIo::Step> steps{stepOf(data.size() + 1)};
  io->cycle(steps, [](std::size_t, std::span<const std::byte> d) { return d; });
  io.reset();
  return out->close() == 0 && readFile(dir / "copy") == data ? 0 : 5;
}

// Where the kernel refuses io_uring (here: a seccomp filter in a child
// process, as a sandbox would), the plain path is chosen and copies.
using CycleIoFallback = RunFixture;
TEST_F(CycleIoFallback, NoIoUringFallsBackToThePlainPath) {
  const auto data = patternBytes(3 * 4096 + 5, 11);
  writeBytes(dir / "in", data);
  EXPECT_EXIT(std::_Exit(fallbackChild(dir, data)), ::testing::ExitedWithCode(0), "");
}

// MDIMAGER_IO=sync forces the plain path even where io_uring is offered;
// anything else leaves the choice to the kernel. (That the plain path is
// then taken, every run of the suite's plain-path rerun checks.)
TEST_F(CycleIoFallback, TheOperatorCanForceThePlainPath) {
  const char* before = std::getenv("MDIMAGER_IO");
  const std::string saved = before ? before : "";
  for (const auto& [value, path] : {std::pair{"sync", IoPath::Sync}, {"SYNC", IoPath::Auto}, {"", IoPath::Auto}}) {
    SCOPED_TRACE(value);
    ::setenv("MDIMAGER_IO", value, 1);
    EXPECT_EQ(ioPathFromEnvironment(), path);
  }
  before ? ::setenv("MDIMAGER_IO", saved.c_str(), 1) : ::unsetenv("MDIMAGER_IO");
}

}  // namespace
}  // namespace mdi::test
