#include "support/clsString.h"

#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/ByteText.h"

namespace mdi {
namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();

// Fills count characters at dst with spaces, eight a step where the CPU
// allows: growth fills a whole chunk, often the size of a converted block.
void fillSpaces(char16_t* dst, std::size_t count) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i spaces = _mm_set1_epi16(u' ');
  for (; i + 8 <= count; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), spaces);
#endif
  for (; i < count; ++i) dst[i] = u' ';
}

// A fresh buffer of `chars` characters holding the first `keep` of `from`;
// the rest is left for the caller to fill.
std::unique_ptr<char16_t[]> copyInto(std::size_t chars, const char16_t* from, std::size_t keep) {
  std::unique_ptr<char16_t[]> fresh(new char16_t[chars]);
  if (keep > 0) std::memcpy(fresh.get(), from, keep * sizeof(char16_t));
  return fresh;
}

}  // namespace

StrError clsString::ChunkSize(std::int32_t chars) {
  const std::int64_t bytes = static_cast<std::int64_t>(chars) * 2;
  if (bytes > kMaxBytes || bytes < std::numeric_limits<std::int32_t>::min()) return StrError::Overflow;
  m_chunkBytes = static_cast<std::int32_t>(bytes);
  return StrError::None;
}

StrError clsString::ensureCapacity(std::int64_t neededBytes) {
  if (neededBytes > kMaxBytes) return StrError::Overflow;
  if (neededBytes <= m_capacityBytes) return StrError::None;
  std::int64_t newBytes;
  if (m_chunkBytes <= 0) {
    newBytes = neededBytes;
  } else {
    // As many whole chunks as the piece needs, taken in one step.
    const std::int64_t missing = neededBytes - m_capacityBytes;
    const std::int64_t chunks = (missing + m_chunkBytes - 1) / m_chunkBytes;
    newBytes = m_capacityBytes + chunks * m_chunkBytes;
    if (newBytes > kMaxBytes) return StrError::Overflow;
  }
  // A fresh buffer of exactly the new size: the old buffer, spare room
  // included, followed by spaces.
  const std::size_t oldChars = static_cast<std::size_t>(m_capacityBytes / 2);
  const std::size_t newChars = static_cast<std::size_t>(newBytes / 2);
  m_buffer = copyInto(newChars, chars(), oldChars);
  fillSpaces(chars() + oldChars, newChars - oldChars);
  m_capacityBytes = static_cast<std::int32_t>(newBytes);
  return StrError::None;
}

StrError clsString::Append(std::span<const std::byte> bytes) {
  const std::size_t count = bytes.size();
  if (count > static_cast<std::size_t>(INT32_MAX / 2)) return StrError::Overflow;
  if (count == 0) return StrError::None;
  const std::int64_t needed = m_usedBytes + static_cast<std::int64_t>(count) * 2;
  if (StrError e = ensureCapacity(needed); e != StrError::None) return e;
  widenBytes(bytes.data(), chars() + m_usedBytes / 2, count);
  m_usedBytes = static_cast<std::int32_t>(needed);
  return StrError::None;
}

StrError clsString::Remove(std::int32_t index, std::int32_t count) {
  const std::int64_t end = static_cast<std::int64_t>(index) + count;
  if (index < 0 || index > Length() || count < 0 || end > Length()) return StrError::IndexOutOfRange;
  if (count == 0) return StrError::None;
  char* base = reinterpret_cast<char*>(chars());
  const std::size_t from = static_cast<std::size_t>(end) * 2;
  std::memmove(base + static_cast<std::size_t>(index) * 2, base + from, static_cast<std::size_t>(m_usedBytes) - from);
  m_usedBytes -= count * 2;
  return StrError::None;
}

}  // namespace mdi
