#include "support/ByteText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mdi {

void widenBytes(const std::byte* src, char16_t* dst, std::size_t n) {
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

void narrowChars(const char16_t* src, std::byte* dst, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Pack with unsigned saturation after masking, so a character above 255
  // keeps its low byte exactly as the scalar tail does.
  const __m128i low = _mm_set1_epi16(0x00FF);
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), low);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8)), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
  }
#endif
  for (; i < n; ++i) dst[i] = static_cast<std::byte>(static_cast<unsigned char>(src[i]));
}

}  // namespace mdi
