#include "platform/fakes/FakeSources.h"

#include <algorithm>
#include <cstring>

namespace mdi {

IoResult MemorySource::read(std::span<std::byte> buf) {
  ++reads;
  IoResult r;
  std::uint64_t want = buf.size();
  const std::uint64_t avail = m_pos < m_data.size() ? m_data.size() - m_pos : 0;
  std::uint64_t n = std::min<std::uint64_t>(want, avail);
  for (const auto& b : m_bad) {
    if (b.begin < m_pos + n && b.end > m_pos) {
      const std::uint64_t ok = b.begin > m_pos ? b.begin - m_pos : 0;
      if (ok < n) { n = ok; r.error = b.error; }
    }
  }
  if (n) std::memcpy(buf.data(), m_data.data() + m_pos, n);
  m_pos += n;
  r.bytes = static_cast<std::size_t>(n);
  return r;
}

std::optional<std::uint64_t> FaultySource::clearBytes(std::size_t length) const {
  std::optional<std::uint64_t> clear;
  for (const auto& b : m_bad) {
    if (b.begin < m_pos + length && b.end > m_pos) {
      const std::uint64_t ok = b.begin > m_pos ? b.begin - m_pos : 0;
      if (!clear || ok < *clear) clear = ok;
    }
  }
  return clear;
}

IoResult FaultySource::read(std::span<std::byte> buf) {
  const auto clear = clearBytes(buf.size());
  if (!clear) {
    const IoResult r = m_inner->read(buf);
    m_pos += r.bytes;
    return r;
  }
  IoResult r = m_inner->read(buf.first(static_cast<std::size_t>(*clear)));
  m_pos += r.bytes;
  // The data ended before the bad bytes: nothing failed.
  if (r.failed() || r.bytes < *clear) return r;
  const auto bad = std::find_if(m_bad.begin(), m_bad.end(), [&](const BadRange& b) {
    return b.begin <= m_pos && b.end > m_pos;
  });
  r.error = bad != m_bad.end() ? bad->error : EIO;
  return r;
}

std::optional<Positioned> FaultySource::positionedRead(std::size_t length) {
  if (clearBytes(length)) return std::nullopt;
  return m_inner->positionedRead(length);
}

void FaultySource::advance(std::size_t bytes) {
  m_inner->advance(bytes);
  m_pos += bytes;
}

IoResult MemoryOutput::write(std::span<const std::byte> buf) {
  IoResult r;
  std::uint64_t n = buf.size();
  if (m_pos + n > capacity) {
    n = capacity > m_pos ? capacity - m_pos : 0;
    r.error = ENOSPC;
  }
  if (m_sink->size() < m_pos + n) m_sink->resize(m_pos + n);
  if (n) std::memcpy(m_sink->data() + m_pos, buf.data(), n);
  m_pos += n;
  r.bytes = static_cast<std::size_t>(n);
  return r;
}

int MemoryOutput::resize(std::uint64_t size) {
  if (size > capacity) return ENOSPC;
  m_sink->resize(size);
  return 0;
}

}  // namespace mdi
