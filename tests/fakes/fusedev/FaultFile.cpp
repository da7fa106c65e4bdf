#include "tests/fakes/fusedev/FaultFile.h"

#include <algorithm>
#include <utility>

#include "tests/fakes/fusedev/Pattern.h"

namespace mdi::fusedev {
namespace {

constexpr std::size_t kLogLimit = 4096;

bool touches(std::uint64_t from, std::uint64_t to, std::uint64_t rangeFrom, std::uint64_t rangeTo) {
  return from < rangeTo && rangeFrom < to;
}

}  // namespace

FaultFile::FaultFile(FileSpec spec, std::filesystem::path path)
    : m_spec(std::move(spec)),
      m_path(std::move(path)),
      m_size(m_spec.content.empty() ? m_spec.size : m_spec.content.size()) {}

std::vector<std::uint8_t> FaultFile::expected(std::uint64_t offset, std::size_t length) const {
  if (offset >= m_size) return {};
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_size - offset));
  if (m_spec.content.empty()) return patternBytes(offset, n, m_spec.seed);
  const auto begin = m_spec.content.begin() + static_cast<std::ptrdiff_t>(offset);
  return {begin, begin + static_cast<std::ptrdiff_t>(n)};
}

void FaultFile::failReads(std::uint64_t from, std::uint64_t to, int error, int times) {
  std::lock_guard lock(m_mutex);
  m_bad.push_back({from, to, error, times});
}

void FaultFile::delayFailedReads(std::chrono::milliseconds delay) {
  std::lock_guard lock(m_mutex);
  m_failDelay = delay;
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

bool FaultFile::waitUntilStalled(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_blocked > 0; });
}

std::size_t FaultFile::stalledReads() const {
  std::lock_guard lock(m_mutex);
  return m_blocked;
}

void FaultFile::throttle(const Throttle& t) {
  std::lock_guard lock(m_mutex);
  m_throttle = t;
  m_jitter.seed(t.seed);
  m_changed.notify_all();
}

void FaultFile::clearFaults() {
  std::lock_guard lock(m_mutex);
  m_bad.clear();
  m_stalls.clear();
  m_maxRead = 0;
  m_throttle = {};
  m_changed.notify_all();
}

std::uint64_t FaultFile::readCount() const {
  std::lock_guard lock(m_mutex);
  return m_reads;
}

std::vector<ReadRequest> FaultFile::takeReads() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_log, {});
}

void FaultFile::interrupt(ReadWait& wait) {
  std::lock_guard lock(m_mutex);
  wait.interrupted = true;
  m_changed.notify_all();
}

void FaultFile::shutDown() {
  std::lock_guard lock(m_mutex);
  m_closing = true;
  m_changed.notify_all();
}

bool FaultFile::stalledAt(std::uint64_t from, std::uint64_t to) const {
  return std::any_of(m_stalls.begin(), m_stalls.end(), [&](std::uint64_t at) { return at >= from && at < to; });
}

long long FaultFile::serve(std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& out, ReadWait& wait) {
  std::unique_lock lock(m_mutex);
  ++m_reads;
  if (m_log.size() < kLogLimit) m_log.push_back({offset, size});
  if (offset >= m_size || size == 0) return 0;
  std::uint64_t length = std::min(size, m_size - offset);

  if (stalledAt(offset, offset + length)) {
    ++m_blocked;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_closing || wait.interrupted || !stalledAt(offset, offset + length); });
    --m_blocked;
    if (wait.interrupted && !m_closing && stalledAt(offset, offset + length)) return -EINTR;
  }
  for (auto it = m_bad.begin(); it != m_bad.end(); ++it) {
    if (!touches(offset, offset + length, it->from, it->to)) continue;
    const int error = it->error;
    if (it->timesLeft > 0 && --it->timesLeft == 0) m_bad.erase(it);
    ++m_failed;
    if (m_failDelay.count() > 0) {
      const auto done = std::max(std::chrono::steady_clock::now(), m_busyUntil) + m_failDelay;
      m_busyUntil = done;
      m_changed.wait_until(lock, done, [&] { return m_closing; });
    }
    return -error;
  }
  if (m_maxRead != 0) length = std::min(length, m_maxRead);

  if (m_throttle.bytesPerSecond != 0 || m_throttle.maxLatency.count() != 0) {
    using namespace std::chrono;
    const auto lo = m_throttle.minLatency.count();
    const auto hi = std::max(lo, m_throttle.maxLatency.count());
    const microseconds latency{std::uniform_int_distribution<long long>(lo, hi)(m_jitter)};
    const nanoseconds transfer{m_throttle.bytesPerSecond == 0
                                   ? 0
                                   : static_cast<long long>(length * 1'000'000'000ULL / m_throttle.bytesPerSecond)};
    const auto done = std::max(steady_clock::now(), m_busyUntil) + latency + transfer;
    m_busyUntil = done;
    m_changed.wait_until(lock, done, [&] { return m_closing; });
  }
  lock.unlock();

  out.resize(static_cast<std::size_t>(length));
  if (m_spec.content.empty()) {
    fillPattern(out, offset, m_spec.seed);
  } else {
    std::copy_n(m_spec.content.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
  }
  return static_cast<long long>(length);
}

}  // namespace mdi::fusedev
