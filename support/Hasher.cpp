#include "support/Hasher.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <array>
#include <utility>

namespace mdi {

namespace {

const EVP_MD* mdFor(HashAlgo algo) {
  switch (algo) {
    case HashAlgo::Sha256:
      return EVP_sha256();
    case HashAlgo::Md5:
      return EVP_md5();
    case HashAlgo::Sha1:
      return EVP_sha1();
  }
  return nullptr;
}

// The library's own reason for the last failure on this thread, so the
// operator sees why (e.g. "unsupported" for MD5 under a strict policy).
std::string evpFailure(std::string_view what, HashAlgo algo) {
  std::string text = std::string(what) + " " + std::string(hashAlgoName(algo)) + " failed";
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    std::array<char, 256> buf{};
    ERR_error_string_n(code, buf.data(), buf.size());
    text += ": ";
    text += buf.data();
  }
  ERR_clear_error();
  return text;
}

std::string toHex(const unsigned char* bytes, unsigned int n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(2 * static_cast<std::size_t>(n), '0');
  for (unsigned int i = 0; i < n; ++i) {
    hex[2 * i] = kDigits[bytes[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  return hex;
}

struct CtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

}  // namespace

std::string_view hashAlgoName(HashAlgo algo) {
  switch (algo) {
    case HashAlgo::Sha256:
      return "sha256";
    case HashAlgo::Md5:
      return "md5";
    case HashAlgo::Sha1:
      return "sha1";
  }
  return "unknown";
}

std::vector<HashAlgo> HashAlgos::list() const {
  std::vector<HashAlgo> out;
  for (HashAlgo a : kAllHashAlgos)
    if (contains(a)) out.push_back(a);
  return out;
}

std::string_view digestOf(const Digests& digests, HashAlgo algo) {
  for (const Digest& d : digests)
    if (d.algo == algo) return d.hex;
  return {};
}

struct Hasher::Impl {
  struct Running {
    HashAlgo algo;
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx;
  };
  std::vector<Running> running;
  std::string error;
  bool finished = false;
};

Hasher::Hasher(HashAlgos algos) : m_algos(algos), m_impl(std::make_unique<Impl>()) {
  if (algos.empty()) {
    m_impl->error = "no hash algorithm chosen";
    return;
  }
  for (HashAlgo a : algos.list()) {
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), mdFor(a), nullptr) != 1) {
      m_impl->error = evpFailure("starting", a);
      m_impl->running.clear();
      return;
    }
    m_impl->running.push_back({a, std::move(ctx)});
  }
}

Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

bool Hasher::ok() const { return m_impl && m_impl->error.empty(); }

const std::string& Hasher::error() const {
  static const std::string kMoved = "hasher was moved from";
  return m_impl ? m_impl->error : kMoved;
}

bool Hasher::update(std::span<const std::byte> bytes) {
  if (!m_impl || !m_impl->error.empty()) return false;
  if (m_impl->finished) {
    m_impl->error = "update after finish";
    return false;
  }
  for (auto& r : m_impl->running) {
    if (EVP_DigestUpdate(r.ctx.get(), bytes.data(), bytes.size()) != 1) {
      m_impl->error = evpFailure("updating", r.algo);
      return false;
    }
  }
  return true;
}

HashResult Hasher::finish() {
  if (!m_impl) return {{}, error()};
  if (m_impl->finished && m_impl->error.empty()) m_impl->error = "finish called twice";
  m_impl->finished = true;
  if (!m_impl->error.empty()) return {{}, m_impl->error};
  HashResult result;
  for (auto& r : m_impl->running) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(r.ctx.get(), md.data(), &len) != 1) {
      m_impl->error = evpFailure("finishing", r.algo);
      return {{}, m_impl->error};
    }
    result.digests.push_back({r.algo, toHex(md.data(), len)});
  }
  m_impl->running.clear();
  return result;
}

}  // namespace mdi
