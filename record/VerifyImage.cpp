#include "record/VerifyImage.h"

#include <algorithm>
#include <vector>

namespace mdi {

namespace {

HashAlgos algosOf(const Digests& digests) {
  HashAlgos algos;
  for (const Digest& d : digests) algos.add(d.algo);
  return algos;
}

}  // namespace

VerifyResult verifySource(Source& source, const Digests& expected, std::size_t blockSize) {
  VerifyResult result;
  Hasher hasher(algosOf(expected));
  if (!hasher.ok()) {
    result.hashError = hasher.error();
    return result;
  }
  std::vector<std::byte> buffer(std::max<std::size_t>(blockSize, 1));
  for (;;) {
    const IoResult r = source.read(buffer);
    if (r.bytes > 0 && !hasher.update(std::span(buffer).first(r.bytes))) {
      result.hashError = hasher.error();
      return result;
    }
    result.bytesRead += r.bytes;
    if (r.failed()) {
      result.kind = VerifyResult::Kind::ReadError;
      result.errorOffset = result.bytesRead;
      result.error = r.error;
      return result;
    }
    if (r.bytes < buffer.size()) break;
  }
  HashResult h = hasher.finish();
  if (!h.ok()) {
    result.hashError = h.error;
    return result;
  }
  result.actual = std::move(h.digests);
  bool same = true;
  for (const Digest& want : expected)
    if (digestOf(result.actual, want.algo) != want.hex) same = false;
  result.kind = same ? VerifyResult::Kind::Match : VerifyResult::Kind::Mismatch;
  return result;
}

}  // namespace mdi
