// Throughput of one main-pass block conversion, 520-byte sectors to 512.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "engine/ConvertSectors.h"

namespace {

void BM_Convert520To512(benchmark::State& state) {
  std::vector<std::byte> block(66560);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<std::byte>((i * 31 + 7) & 0xFF);
  std::vector<std::byte> out;
  for (auto _ : state) {
    mdi::ConvertSectors(block, 520, 512, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  if (out.size() != 65536) state.SkipWithError("wrong output length");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_Convert520To512);

}  // namespace

BENCHMARK_MAIN();
