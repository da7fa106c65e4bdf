#include "support/ByteText.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mdi {

#if defined(__x86_64__)
namespace detail {

// Two builds of each loop: AVX2 (32 bytes a step) where the CPU has it,
// SSE2 (16, every x86-64) elsewhere; the loader picks one per process for
// the calls in this file (the public functions below).
__attribute__((target("avx2"))) void widen(const std::byte* src, char16_t* dst, std::size_t n) {
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_cvtepu8_epi16(a));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 16), _mm256_cvtepu8_epi16(b));
  }
  for (; i < n; ++i) dst[i] = static_cast<char16_t>(std::to_integer<unsigned char>(src[i]));
}

__attribute__((target("default"))) void widen(const std::byte* src, char16_t* dst, std::size_t n) {
  std::size_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 8), _mm_unpackhi_epi8(b, zero));
  }
  for (; i < n; ++i) dst[i] = static_cast<char16_t>(std::to_integer<unsigned char>(src[i]));
}

// Both pack with unsigned saturation after masking, so a character above
// 255 keeps its low byte exactly as the scalar tail does.
__attribute__((target("avx2"))) void narrow(const char16_t* src, std::byte* dst, std::size_t n) {
  std::size_t i = 0;
  const __m256i low = _mm256_set1_epi16(0x00FF);
  for (; i + 32 <= n; i += 32) {
    const __m256i a = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), low);
    const __m256i b = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 16)), low);
    // packus works within 128-bit lanes: a0 b0 a1 b1, put back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), packed);
  }
  for (; i < n; ++i) dst[i] = static_cast<std::byte>(static_cast<unsigned char>(src[i]));
}

__attribute__((target("default"))) void narrow(const char16_t* src, std::byte* dst, std::size_t n) {
  std::size_t i = 0;
  const __m128i low = _mm_set1_epi16(0x00FF);
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), low);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8)), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
  }
  for (; i < n; ++i) dst[i] = static_cast<std::byte>(static_cast<unsigned char>(src[i]));
}

}  // namespace detail

void widenBytes(const std::byte* src, char16_t* dst, std::size_t n) { detail::widen(src, dst, n); }
void narrowChars(const char16_t* src, std::byte* dst, std::size_t n) { detail::narrow(src, dst, n); }
#else
void widenBytes(const std::byte* src, char16_t* dst, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char16_t>(std::to_integer<unsigned char>(src[i]));
}

void narrowChars(const char16_t* src, std::byte* dst, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<std::byte>(static_cast<unsigned char>(src[i]));
}
#endif

}  // namespace mdi
