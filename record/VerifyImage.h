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
#include <cstddef>
#include <cstdint>
#include <string>

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

// Bytes read a step.
inline constexpr std::size_t kVerifyBlock = 1u << 20;

VerifyResult verifySource(Source& source, const Digests& expected, std::size_t blockSize = kVerifyBlock);

}  // namespace mdi
