#include "tests/fakes/FakeSources.h"

namespace mdi {
namespace {

struct Blocked {
  std::uint64_t clear = 0;  // bytes the read transfers before it fails
  int error = 0;            // what the read then fails with
  std::size_t range = 0;    // which one
};

// Where a read of n bytes at pos runs into a bad range; nullopt when it
// stays clear of them all.
std::optional<Blocked> firstBad(const std::vector<BadRange>& bad, std::uint64_t pos, std::uint64_t n) {
  std::optional<Blocked> first;
  for (std::size_t i = 0; i < bad.size(); ++i) {
    const BadRange& b = bad[i];
    if (b.begin < pos + n && b.end > pos) {
      const std::uint64_t ok = b.wholeReadFails ? 0 : b.begin > pos ? b.begin - pos : 0;
      if (!first || ok < first->clear) first = Blocked{ok, b.error, i};
    }
  }
  return first;
}

}  // namespace

FaultySource::FaultySource(std::unique_ptr<Source> inner, std::vector<BadRange> bad, std::shared_ptr<ReadLog> log,
                           std::shared_ptr<Gate> gate)
    : m_bad(std::move(bad)), m_inner(std::move(inner)), m_log(std::move(log)), m_gate(std::move(gate)) {
  if (m_gate) m_gate->attach();
}

FaultySource::~FaultySource() {
  if (m_gate) m_gate->detach();
}

IoResult FaultySource::read(std::span<std::byte> buf) {
  if (m_log) m_log->push_back({m_pos, buf.size()});
  if (m_gate && m_gate->holds(m_pos, buf.size())) m_gate->hold();
  const auto bad = firstBad(m_bad, m_pos, buf.size());
  if (!bad) {
    const IoResult r = m_inner->read(buf);
    m_pos += r.bytes;
    return r;
  }
  IoResult r = m_inner->read(buf.first(static_cast<std::size_t>(bad->clear)));
  m_pos += r.bytes;
  // The data ended before the bad bytes: nothing failed.
  if (r.failed() || r.bytes < bad->clear) return r;
  r.error = bad->error;
  if (BadRange& b = m_bad[bad->range]; b.failTimes > 0 && --b.failTimes == 0)
    m_bad.erase(m_bad.begin() + static_cast<long>(bad->range));
  return r;
}

std::optional<Positioned> FaultySource::positionedRead(std::size_t length) {
  if (m_gate || firstBad(m_bad, m_pos, length)) return std::nullopt;
  return m_inner->positionedRead(length);
}

void FaultySource::advance(std::size_t bytes) {
  m_inner->advance(bytes);
  m_pos += bytes;
}

bool FaultySource::seek(std::uint64_t offset) {
  if (!m_inner->seek(offset)) return false;
  m_pos = offset;
  return true;
}

}  // namespace mdi
