// Throughput of one main-pass block conversion, 520-byte sectors to 512: the
// plain conversion, each sector layout with its .extra bytes, and Data first
// with the protection-information check. "input" is decimal GB/s of source
// bytes on one core.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bench/PiSector.h"
#include "convert/ConvertSectors.h"
#include "convert/ProtectionInfo.h"
#include "convert/SectorLayout.h"

namespace {

constexpr std::size_t kSectors = 128;
constexpr std::size_t kBlock = kSectors * 520;  // 66,560 bytes, 16 groups

// Sectors whose tuples are valid type-1 PI from LBA 0, as a drive that
// carries PI delivers them (the PI check's common path: every guard matches).
std::vector<std::byte> protectedBlock(std::size_t sectors = kSectors) {
  std::vector<std::byte> block(sectors * 520);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::byte>((i * 31 + 7) & 0xFF);
  for (std::size_t k = 0; k < sectors; ++k) {
    std::byte* sec = block.data() + k * 520;
    mdi::bench::sealType1(sec, static_cast<std::uint32_t>(k));
  }
  return block;
}

void countInput(benchmark::State& state, std::size_t block = kBlock) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(block));
  state.counters["input"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * block, benchmark::Counter::kIsRate);
}

// For blocks of 128 sectors (a main-pass block), 2048 (a 1 MiB step's
// worth) and 8192 (a 4 MiB step's), the output vector reused as a run
// reuses it.
void BM_Convert520To512(benchmark::State& state) {
  const auto sectors = static_cast<std::size_t>(state.range(0));
  const auto block = protectedBlock(sectors);
  std::vector<std::byte> out;
  for (auto _ : state) {
    mdi::ConvertSectors(block, 520, 512, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  if (out.size() != sectors * 512) state.SkipWithError("wrong output length");
  countInput(state, block.size());
}
BENCHMARK(BM_Convert520To512)->Arg(128)->Arg(2048)->Arg(8192);

// The layout as a run converts a block: image and .extra bytes, the
// vectors reused from block to block; with the PI check
// when asked.
void layoutBench(benchmark::State& state, mdi::SectorLayout layout, bool checkPi) {
  const auto block = protectedBlock();
  std::vector<std::byte> image, extra;
  mdi::PiChecker pi;
  std::uint64_t offset = 0;
  for (auto _ : state) {
    if (!mdi::convertLayout(layout, 520, 512, block, offset, image, extra)) state.SkipWithError("refused");
    if (checkPi) pi.check(block, 0);
    benchmark::DoNotOptimize(image.data());
    benchmark::DoNotOptimize(extra.data());
    benchmark::ClobberMemory();
    offset += kBlock;
  }
  if (image.size() != 65536 || extra.size() != 1024) state.SkipWithError("wrong output length");
  if (checkPi && (!pi.carriesPi() || pi.counts().badSectors != 0)) state.SkipWithError("PI check miscounted");
  countInput(state);
}

void BM_DataFirst(benchmark::State& state) { layoutBench(state, mdi::SectorLayout::DataFirst, false); }
void BM_DataLast(benchmark::State& state) { layoutBench(state, mdi::SectorLayout::DataLast, false); }
void BM_Groups4K(benchmark::State& state) { layoutBench(state, mdi::SectorLayout::Groups4K, false); }
void BM_DataFirstWithPiCheck(benchmark::State& state) { layoutBench(state, mdi::SectorLayout::DataFirst, true); }
BENCHMARK(BM_DataFirst);
BENCHMARK(BM_DataLast);
BENCHMARK(BM_Groups4K);
BENCHMARK(BM_DataFirstWithPiCheck);

void BM_PiCheckAlone(benchmark::State& state) {
  const auto block = protectedBlock();
  mdi::PiChecker pi;
  for (auto _ : state) {
    pi.check(block, 0);
    benchmark::ClobberMemory();
  }
  countInput(state);
}
BENCHMARK(BM_PiCheckAlone);

}  // namespace

BENCHMARK_MAIN();
