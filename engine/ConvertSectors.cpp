#include "engine/ConvertSectors.h"

#include <algorithm>
#include <string>

#include "support/clsString.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mdi {
namespace {

// One character per byte, in and out. These run over every byte of a block,
// so they work sixteen bytes at a time where the CPU allows.
void widen(const std::byte* src, char16_t* dst, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(b, zero));
  }
#endif
  for (; i < n; ++i) dst[i] = static_cast<char16_t>(std::to_integer<unsigned char>(src[i]));
}

// Every character came from one byte, so each fits in eight bits.
void narrow(const char16_t* src, std::byte* dst, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
  }
#endif
  for (; i < n; ++i) dst[i] = static_cast<std::byte>(static_cast<unsigned char>(src[i]));
}

}  // namespace

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock) {
  ConvertedBlock.clear();
  if (s <= 0 || t <= 0 || block.empty()) return;

  // The pieces travel through the builder as text, one character per byte.
  clsString builder;
  // One growth step as large as the whole result: the block is built with a
  // single allocation instead of one re-allocation per default chunk.
  const std::int64_t whole = static_cast<std::int64_t>(block.size() / static_cast<std::size_t>(s)) * t + t;
  if (whole <= clsString::kDefaultChunkChars * 64) builder.ChunkSize(static_cast<std::int32_t>(whole));
  std::u16string piece(static_cast<std::size_t>(t), u'\0');
  const std::size_t n = block.size();
  const std::size_t step = static_cast<std::size_t>(s);
  const std::size_t want = static_cast<std::size_t>(t);
  for (std::size_t p = 0; p < n; p += step) {
    const std::size_t len = std::min(want, n - p);
    widen(block.data() + p, piece.data(), len);
    if (builder.Append(std::u16string_view(piece.data(), len)) != StrError::None) break;
    if (n - p <= step) break;  // last step; also keeps p + step from wrapping
  }

  const std::u16string text = builder.ToString();
  ConvertedBlock.resize(text.size());
  narrow(text.data(), ConvertedBlock.data(), text.size());
}

}  // namespace mdi
