#pragma once
// Incremental hashing of one byte stream with one or more algorithms at
// once, over OpenSSL's EVP interface.
//
// Promises: the digests are those of the concatenation of every span given
// to update(), in order, as lowercase hex; an algorithm the library refuses
// (e.g. MD5 where the policy forbids it) or any EVP failure is reported with
// its reason, never turned into a digest. A Hasher is move-only and frees
// its contexts however it ends.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mdi {

enum class HashAlgo : std::uint8_t { Sha256, Md5, Sha1 };

// Every algorithm, in the order records list them.
inline constexpr HashAlgo kAllHashAlgos[] = {HashAlgo::Sha256, HashAlgo::Md5, HashAlgo::Sha1};

// Lowercase name as the coreutils tools spell it: "sha256", "md5", "sha1".
// Used for record keys and for the checksum file's extension.
std::string_view hashAlgoName(HashAlgo algo);

// A set of algorithms; iterates in kAllHashAlgos order.
class HashAlgos {
 public:
  constexpr HashAlgos() = default;
  constexpr HashAlgos(std::initializer_list<HashAlgo> algos) {
    for (HashAlgo a : algos) add(a);
  }
  constexpr HashAlgos& add(HashAlgo a) {
    m_bits |= bit(a);
    return *this;
  }
  constexpr HashAlgos& remove(HashAlgo a) {
    m_bits &= static_cast<std::uint8_t>(~bit(a));
    return *this;
  }
  constexpr bool contains(HashAlgo a) const { return (m_bits & bit(a)) != 0; }
  constexpr bool empty() const { return m_bits == 0; }
  std::vector<HashAlgo> list() const;
  friend constexpr bool operator==(HashAlgos, HashAlgos) = default;

 private:
  static constexpr std::uint8_t bit(HashAlgo a) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(a)); }
  std::uint8_t m_bits = 0;
};

struct Digest {
  HashAlgo algo = HashAlgo::Sha256;
  std::string hex;  // lowercase
  friend bool operator==(const Digest&, const Digest&) = default;
};
using Digests = std::vector<Digest>;

// The hex digest for algo, or "" when the set does not hold it.
std::string_view digestOf(const Digests& digests, HashAlgo algo);

// What finish() gives: every digest asked for, or the reason there are none.
struct HashResult {
  Digests digests;    // in kAllHashAlgos order; empty when error is set
  std::string error;  // "" on success
  bool ok() const { return error.empty(); }
};

class Hasher {
 public:
  // Starts one context per algorithm. A failure to start is kept and
  // reported by ok()/error() and by finish().
  explicit Hasher(HashAlgos algos);
  ~Hasher();
  Hasher(Hasher&&) noexcept;
  Hasher& operator=(Hasher&&) noexcept;
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;

  // Feeds bytes to every algorithm. Returns false once anything has failed
  // (the failure sticks; later calls do nothing), or after finish().
  bool update(std::span<const std::byte> bytes);
  // Ends the stream. A second call, or a call on a moved-from Hasher,
  // reports an error.
  HashResult finish();

  bool ok() const;
  const std::string& error() const;
  HashAlgos algos() const { return m_algos; }

 private:
  struct Impl;
  HashAlgos m_algos;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace mdi
