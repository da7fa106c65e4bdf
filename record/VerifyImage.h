#pragma once
// Reading an image (or re-reading a source) back and comparing its hashes
// with those computed while it was written.
//
// Promises: the bytes are read through the Source read contract from the
// current position to the end, in blocks, and hashed with exactly the
// algorithms of the expected digests. Match only when every expected
// digest is equal; a failed read ends the check as a read error at the
// source offset where the failure happened; a hashing failure (or no
// expected digest at all) is reported as such, never as a match.
//
// Verifier does one block per step(), so a caller that must keep its
// window alive can interleave it with other work; verifySource() runs it
// to the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/RawIo.h"
#include "support/Hasher.h"

namespace mdi {

struct VerifyResult {
  enum class Kind { Match, Mismatch, ReadError, HashFailed };
  Kind kind = Kind::HashFailed;
  Digests actual;                 // Match / Mismatch: the digests read back
  std::uint64_t bytesRead = 0;    // bytes read and hashed
  std::uint64_t errorOffset = 0;  // ReadError: offset of the failure
  int error = 0;                  // ReadError: errno
  std::string hashError;          // HashFailed: why
};

class Verifier {
 public:
  static constexpr std::size_t kDefaultBlock = 1u << 20;

  // `source` must outlive the Verifier.
  Verifier(Source& source, Digests expected, std::size_t blockSize = kDefaultBlock);
  // Reads and hashes one block. False once the check has ended (then
  // result() is final).
  bool step();
  bool done() const { return m_done; }
  std::uint64_t bytesRead() const { return m_result.bytesRead; }
  const VerifyResult& result() const { return m_result; }

 private:
  void end();

  Source& m_source;
  Digests m_expected;
  Hasher m_hasher;
  std::vector<std::byte> m_buffer;
  VerifyResult m_result;
  bool m_done = false;
};

VerifyResult verifySource(Source& source, const Digests& expected, std::size_t blockSize = Verifier::kDefaultBlock);

}  // namespace mdi
