#include "tests/fakes/FaultyFiles.h"

#include <cerrno>
#include <filesystem>

namespace mdi {
namespace {

struct OutputFaults {
  std::string path;
  std::uint64_t limit = UINT64_MAX;
  bool once = false;
  bool failSync = false;
  bool failResize = false;
  bool failCut = false;
  std::shared_ptr<Gate> writeGate;
  std::shared_ptr<Gate> closeGate;
};

// An output that fails past a byte limit (ENOSPC), on its first close (a
// failed flush to disk), or when asked to grow or to be cut back; whose
// write of the gate's byte, or close, hangs until let go.
class FaultyOutput final : public Output {
 public:
  FaultyOutput(std::unique_ptr<Output> o, OutputFaults f) : m_o(std::move(o)), m_f(std::move(f)) {
    if (m_f.writeGate) m_f.writeGate->attach();
  }
  ~FaultyOutput() override {
    if (m_f.writeGate) m_f.writeGate->detach();
  }
  IoResult write(std::span<const std::byte> b) override {
    if (m_f.writeGate && m_f.writeGate->holds(m_pos, b.size())) m_f.writeGate->hold();
    const bool full = m_pos + b.size() > m_f.limit;
    IoResult r = m_o->write(full ? b.first(m_f.limit > m_pos ? static_cast<std::size_t>(m_f.limit - m_pos) : 0) : b);
    m_pos += r.bytes;
    if (full) {
      r.error = ENOSPC;
      if (m_f.once) m_f.limit = UINT64_MAX;
    }
    return r;
  }
  // Writes that stay below the limit and clear of a gate may be issued by
  // the caller.
  std::optional<Positioned> positionedWrite(std::size_t len) override {
    if (m_f.writeGate || m_pos + len > m_f.limit) return std::nullopt;
    return m_o->positionedWrite(len);
  }
  void advance(std::size_t bytes) override {
    m_o->advance(bytes);
    m_pos += bytes;
  }
  int resize(std::uint64_t s) override {
    if (m_f.failResize && s > m_pos) return EFBIG;
    std::error_code ec;
    if (m_f.failCut && s < std::filesystem::file_size(m_f.path, ec) && !ec) return EIO;
    return m_o->resize(s);
  }
  int seek(std::uint64_t off) override {
    m_pos = off;
    return m_o->seek(off);
  }
  std::function<int()> flusher() override {
    if (m_f.failSync) return [] { return EIO; };
    return m_o->flusher();
  }
  int close() override {
    if (m_f.closeGate) m_f.closeGate->hold();
    const int e = m_o->close();
    return m_f.failSync && e == 0 && !m_closed++ ? EIO : e;
  }

 private:
  std::unique_ptr<Output> m_o;
  OutputFaults m_f;
  std::uint64_t m_pos = 0;
  int m_closed = 0;
};

template <class T>
T valueOr(const std::map<std::string, T>& m, const std::string& key, T otherwise = {}) {
  const auto it = m.find(key);
  return it == m.end() ? otherwise : it->second;
}

}  // namespace

std::unique_ptr<Source> FaultyFiles::openSource(const std::string& path) {
  std::unique_ptr<Source> source = m_real.openSource(path);
  if (auto gate = valueOr(gates, path); gate || badRanges.count(path) > 0)
    source = std::make_unique<FaultySource>(std::move(source), valueOr(badRanges, path), valueOr(readLogs, path),
                                            std::move(gate));
  // Held last: once let go, the open touches nothing of this object, which
  // a finished test may have destroyed.
  if (auto g = openGates.find(path); g != openGates.end()) g->second->hold();
  return source;
}

std::unique_ptr<Output> FaultyFiles::createOutput(const std::string& path) {
  ++creates[path];
  return wrap(path, m_real.createOutput(path));
}

std::unique_ptr<Output> FaultyFiles::reopenOutput(const std::string& path) {
  return wrap(path, m_real.reopenOutput(path));
}

std::unique_ptr<Output> FaultyFiles::wrap(const std::string& path, std::unique_ptr<Output> o) {
  const OutputFaults f{path,
                       valueOr(writeLimit, path, std::uint64_t{UINT64_MAX}),
                       writeLimitOnce.count(path) > 0,
                       failSync.count(path) > 0,
                       failResize.count(path) > 0,
                       failCut.count(path) > 0,
                       valueOr(outputGates, path),
                       valueOr(closeGates, path)};
  if (f.limit == UINT64_MAX && !f.failSync && !f.failResize && !f.failCut && !f.writeGate && !f.closeGate) return o;
  return std::make_unique<FaultyOutput>(std::move(o), f);
}

}  // namespace mdi
