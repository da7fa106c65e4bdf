#include "tests/fakes/fusedev/FaultFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace mdi::fusedev {
namespace {

// splitmix64 of the 8-byte word index: every word differs from its neighbours.
std::uint64_t word(std::uint64_t index, std::uint64_t seed) {
  std::uint64_t z = index + seed * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e019ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The pattern bytes [offset, offset + out.size()), whole words at once: a
// benchmark's simulated drives serve hundreds of MB/s of it.
void fillPattern(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t seed) {
  const auto byteAt = [&](std::uint64_t at) { return static_cast<std::uint8_t>(word(at / 8, seed) >> (8 * (at % 8))); };
  std::size_t i = 0;
  for (; i < out.size() && (offset + i) % 8 != 0; ++i) out[i] = byteAt(offset + i);
  for (; i + 8 <= out.size(); i += 8) {
    std::uint64_t w = word((offset + i) / 8, seed);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    std::memcpy(out.data() + i, &w, 8);
  }
  for (; i < out.size(); ++i) out[i] = byteAt(offset + i);
}

}  // namespace

FaultFile::FaultFile(FileSpec spec, std::filesystem::path path) : m_spec(std::move(spec)), m_path(std::move(path)) {}

std::vector<std::uint8_t> FaultFile::expected(std::uint64_t offset, std::size_t length) const {
  if (offset >= size()) return {};
  std::vector<std::uint8_t> out(static_cast<std::size_t>(std::min<std::uint64_t>(length, size() - offset)));
  fillPattern(out, offset, m_spec.seed);
  return out;
}

void FaultFile::failReads(std::uint64_t from, std::uint64_t to, int error, int times) {
  std::lock_guard lock(m_mutex);
  m_bad.push_back({from, to, error, times});
}

std::uint64_t FaultFile::failedReadCount() const {
  std::lock_guard lock(m_mutex);
  return m_failed;
}

void FaultFile::limitReadSize(std::uint64_t maxBytes) {
  std::lock_guard lock(m_mutex);
  m_maxRead = maxBytes;
}

void FaultFile::stallAt(std::uint64_t offset) {
  std::lock_guard lock(m_mutex);
  m_stalls.push_back(offset);
}

void FaultFile::release() {
  std::lock_guard lock(m_mutex);
  m_stalls.clear();
  m_changed.notify_all();
}

std::size_t FaultFile::stalledReads() const {
  std::lock_guard lock(m_mutex);
  return m_blocked;
}

void FaultFile::throttle(const DriveTiming& timing, std::uint64_t seed, std::chrono::milliseconds failedRead) {
  std::lock_guard lock(m_mutex);
  m_throttled = true;
  m_pace = DrivePace(timing, seed);
  m_failDelay = failedRead;
}

void FaultFile::clearFaults() {
  std::lock_guard lock(m_mutex);
  m_bad.clear();
}

void FaultFile::shutDown() {
  std::lock_guard lock(m_mutex);
  m_closing = true;
  m_changed.notify_all();
}

bool FaultFile::stalledAt(std::uint64_t from, std::uint64_t to) const {
  return std::any_of(m_stalls.begin(), m_stalls.end(), [&](std::uint64_t at) { return at >= from && at < to; });
}

long long FaultFile::serve(std::uint64_t offset, std::uint64_t asked, std::vector<std::uint8_t>& out) {
  std::unique_lock lock(m_mutex);
  if (offset >= size() || asked == 0) return 0;
  std::uint64_t length = std::min(asked, size() - offset);

  if (stalledAt(offset, offset + length)) {
    ++m_blocked;
    m_changed.wait(lock, [&] { return m_closing || !stalledAt(offset, offset + length); });
    --m_blocked;
  }
  for (auto it = m_bad.begin(); it != m_bad.end(); ++it) {
    if (it->to <= offset || offset + length <= it->from) continue;
    const int error = it->error;
    if (it->timesLeft > 0 && --it->timesLeft == 0) m_bad.erase(it);
    ++m_failed;
    if (m_failDelay.count() > 0) m_changed.wait_until(lock, m_pace.bookAfter(m_failDelay), [&] { return m_closing; });
    return -error;
  }
  if (m_maxRead != 0) length = std::min(length, m_maxRead);
  if (m_throttled) m_changed.wait_until(lock, m_pace.book(static_cast<std::size_t>(length)), [&] { return m_closing; });
  lock.unlock();

  out.resize(static_cast<std::size_t>(length));
  fillPattern(out, offset, m_spec.seed);
  return static_cast<long long>(length);
}

}  // namespace mdi::fusedev
