#include "record/VerifyImage.h"

#include <algorithm>

namespace mdi {

namespace {

HashAlgos algosOf(const Digests& digests) {
  HashAlgos algos;
  for (const Digest& d : digests) algos.add(d.algo);
  return algos;
}

}  // namespace

Verifier::Verifier(Source& source, Digests expected, std::size_t blockSize)
    : m_source(source),
      m_expected(std::move(expected)),
      m_hasher(algosOf(m_expected)),
      m_buffer(std::max<std::size_t>(blockSize, 1)) {
  if (!m_hasher.ok()) {
    m_result.kind = VerifyResult::Kind::HashFailed;
    m_result.hashError = m_hasher.error();
    m_done = true;
  }
}

bool Verifier::step() {
  if (m_done) return false;
  const IoResult r = m_source.read(m_buffer);
  if (r.bytes > 0 && !m_hasher.update(std::span(m_buffer).first(r.bytes))) {
    m_result.kind = VerifyResult::Kind::HashFailed;
    m_result.hashError = m_hasher.error();
    m_done = true;
    return false;
  }
  m_result.bytesRead += r.bytes;
  if (r.failed()) {
    m_result.kind = VerifyResult::Kind::ReadError;
    m_result.errorOffset = m_result.bytesRead;
    m_result.error = r.error;
    m_done = true;
    return false;
  }
  if (r.bytes < m_buffer.size()) {
    end();
    return false;
  }
  return true;
}

void Verifier::end() {
  m_done = true;
  HashResult h = m_hasher.finish();
  if (!h.ok()) {
    m_result.kind = VerifyResult::Kind::HashFailed;
    m_result.hashError = h.error;
    return;
  }
  m_result.actual = std::move(h.digests);
  bool same = true;
  for (const Digest& want : m_expected)
    if (digestOf(m_result.actual, want.algo) != want.hex) same = false;
  m_result.kind = same ? VerifyResult::Kind::Match : VerifyResult::Kind::Mismatch;
}

VerifyResult verifySource(Source& source, const Digests& expected, std::size_t blockSize) {
  Verifier v(source, expected, blockSize);
  while (v.step()) {}
  return v.result();
}

}  // namespace mdi
