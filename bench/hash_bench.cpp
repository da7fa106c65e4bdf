// Hashing throughput: one Hasher alone over 128 KiB blocks, and the
// pipeline fed 128 KiB blocks from 4 streams in turns, the way a cycle of
// the copy loop hands them over. bytes_per_second is what the README quotes.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "record/HashPipeline.h"
#include "support/Hasher.h"

namespace {

constexpr std::size_t kBlock = 128 * 1024;

std::vector<std::byte> block() {
  std::vector<std::byte> b(kBlock);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::byte>((i * 131 + 17) & 0xFF);
  return b;
}

mdi::HashAlgos algosFor(std::int64_t set) {
  if (set == 0) return {mdi::HashAlgo::Sha256};
  return {mdi::HashAlgo::Sha256, mdi::HashAlgo::Md5, mdi::HashAlgo::Sha1};
}

// Arg: 0 = SHA-256 alone, 1 = SHA-256 + MD5 + SHA-1.
void BM_Hasher(benchmark::State& state) {
  const auto b = block();
  mdi::Hasher h(algosFor(state.range(0)));
  for (auto _ : state) {
    if (!h.update(b)) state.SkipWithError(h.error().c_str());
  }
  benchmark::DoNotOptimize(h.finish());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBlock));
}
BENCHMARK(BM_Hasher)->Arg(0)->Arg(1);

// One iteration = 64 cycles of 4 blocks (32 MiB), then every stream finished,
// so the figure includes waiting for the worker to catch up.
void BM_Pipeline4Streams(benchmark::State& state) {
  constexpr int kStreams = 4;
  constexpr int kCycles = 64;
  auto b = block();
  mdi::HashPipeline pipe;
  for (auto _ : state) {
    for (int s = 0; s < kStreams; ++s) pipe.open(static_cast<mdi::HashPipeline::StreamId>(s), algosFor(state.range(0)));
    for (int c = 0; c < kCycles; ++c)
      for (int s = 0; s < kStreams; ++s) {
        pipe.submit(static_cast<mdi::HashPipeline::StreamId>(s), b);
        b[static_cast<std::size_t>(c)] = std::byte{0x5A};  // the caller reuses its buffer at once
      }
    for (int s = 0; s < kStreams; ++s) {
      const auto r = pipe.finish(static_cast<mdi::HashPipeline::StreamId>(s));
      if (!r.ok()) state.SkipWithError(r.error.c_str());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kStreams * kCycles *
                          static_cast<std::int64_t>(kBlock));
}
BENCHMARK(BM_Pipeline4Streams)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
