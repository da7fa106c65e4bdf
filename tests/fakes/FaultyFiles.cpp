#include "tests/fakes/FaultyFiles.h"

#include <cerrno>
#include <filesystem>

namespace mdi {
namespace {

struct OutputFaults {
  std::string path;
  std::uint64_t limit = UINT64_MAX;
  bool failSync = false;
  bool failResize = false;
  bool failCut = false;
  bool once = false;
  std::shared_ptr<Gate> closeGate;
};

// An output that fails past a byte limit (ENOSPC), on its first close (a
// failed flush to disk), or when asked to grow or to be cut back.
class LimitedOutput final : public Output {
 public:
  LimitedOutput(std::unique_ptr<Output> o, OutputFaults f) : m_o(std::move(o)), m_f(std::move(f)) {}
  IoResult write(std::span<const std::byte> b) override {
    if (m_pos + b.size() > m_f.limit) {
      const std::size_t ok = m_f.limit > m_pos ? static_cast<std::size_t>(m_f.limit - m_pos) : 0;
      IoResult r = m_o->write(b.first(ok));
      m_pos += r.bytes;
      r.error = ENOSPC;
      if (m_f.once) m_f.limit = UINT64_MAX;
      return r;
    }
    IoResult r = m_o->write(b);
    m_pos += r.bytes;
    return r;
  }
  // Writes that stay below the limit may be issued by the caller.
  std::optional<Positioned> positionedWrite(std::size_t len) override {
    if (m_pos + len > m_f.limit) return std::nullopt;
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

}  // namespace

std::unique_ptr<Source> FaultyFiles::openSource(const std::string& path) {
  std::unique_ptr<Source> source = m_real.openSource(path);
  if (auto it = badRanges.find(path); it != badRanges.end()) {
    const auto log = readLogs.find(path);
    source =
        std::make_unique<FaultySource>(std::move(source), it->second, log == readLogs.end() ? nullptr : log->second);
  }
  if (auto g = gates.find(path); g != gates.end()) source = std::make_unique<GatedSource>(std::move(source), g->second);
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
  if (auto g = outputGates.find(path); g != outputGates.end())
    return std::make_unique<GatedOutput>(std::move(o), g->second);
  OutputFaults f{path, UINT64_MAX, false, false, false, false, nullptr};
  if (const auto lim = writeLimit.find(path); lim != writeLimit.end()) f.limit = lim->second;
  f.failSync = failSync.count(path) > 0;
  f.failResize = failResize.count(path) > 0;
  f.failCut = failCut.count(path) > 0;
  f.once = writeLimitOnce.count(path) > 0;
  if (const auto g = closeGates.find(path); g != closeGates.end()) f.closeGate = g->second;
  if (f.limit == UINT64_MAX && !f.failSync && !f.failResize && !f.failCut && !f.closeGate) return o;
  return std::make_unique<LimitedOutput>(std::move(o), std::move(f));
}

}  // namespace mdi
