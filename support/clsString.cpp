#include "support/clsString.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/ByteText.h"

namespace mdi {
namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();

// Byte length of a text, or -1 when it does not fit the 32-bit counts.
std::int64_t byteLength(std::u16string_view text) {
  if (text.size() > static_cast<std::size_t>(kMaxBytes / 2)) return -1;
  return static_cast<std::int64_t>(text.size()) * 2;
}

char16_t foldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  // Latin-1 small letters, except the division sign and y with diaeresis.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

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

std::u16string clsString::ToString() const {
  if (m_usedBytes <= 0) return {};
  return std::u16string(chars(), static_cast<std::size_t>(m_usedBytes / 2));
}

StrError clsString::TheString(std::u16string_view text) {
  const std::int64_t n = byteLength(text);
  if (n < 0) return StrError::Overflow;
  if (n == 0) {
    m_buffer.reset();
    m_usedBytes = 0;
    m_capacityBytes = 0;
    return StrError::None;
  }
  if (StrError e = ensureCapacity(n); e != StrError::None) return e;
  std::memcpy(chars(), text.data(), static_cast<std::size_t>(n));
  m_usedBytes = static_cast<std::int32_t>(n);
  return StrError::None;
}

StrError clsString::Append(std::u16string_view piece) {
  return appendChars(piece.size(),
                     [&](char16_t* at) { std::memcpy(at, piece.data(), piece.size() * sizeof(char16_t)); });
}

StrError clsString::Append(std::span<const std::byte> bytes) {
  return appendChars(bytes.size(), [&](char16_t* at) { widenBytes(bytes.data(), at, bytes.size()); });
}

StrError clsString::Insert(std::int32_t index, std::u16string_view text) {
  if (index < 0 || index > Length()) return StrError::IndexOutOfRange;
  const std::int64_t n = byteLength(text);
  if (n < 0) return StrError::Overflow;
  if (n == 0) return StrError::None;
  const std::int64_t needed = m_usedBytes + n;
  // The text may be a view into this buffer; keep a copy before it moves.
  const std::u16string copy(text);
  if (StrError e = ensureCapacity(needed); e != StrError::None) return e;
  char* base = reinterpret_cast<char*>(chars());
  const std::size_t at = static_cast<std::size_t>(index) * 2;
  std::memmove(base + at + n, base + at, static_cast<std::size_t>(m_usedBytes) - at);
  std::memcpy(base + at, copy.data(), static_cast<std::size_t>(n));
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

std::int32_t clsString::Find(std::u16string_view text, std::int32_t start, std::int32_t compare) const {
  const std::size_t from = start >= 1 ? static_cast<std::size_t>(start) - 1 : 0;
  const std::size_t cap = whole().size();
  if (from > cap) return 0;
  std::size_t hit = std::u16string_view::npos;
  if (text.empty()) {
    hit = from;
  } else if (compare == 1) {
    const std::u16string_view hay = whole();
    const auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(from), hay.end(), text.begin(), text.end(),
                                [](char16_t a, char16_t b) { return foldCase(a) == foldCase(b); });
    if (it != hay.end()) hit = static_cast<std::size_t>(it - hay.begin());
  } else {
    hit = whole().find(text, from);
  }
  if (hit == std::u16string_view::npos) return 0;
  const std::int64_t position = static_cast<std::int64_t>(hit) + 1;
  return position < Length() ? static_cast<std::int32_t>(position) : 0;
}

void clsString::HeapMinimize() {
  const std::int32_t spare = m_capacityBytes - m_usedBytes;
  std::int32_t newBytes = m_capacityBytes;
  if (m_chunkBytes <= 0) {
    newBytes = m_usedBytes;
  } else if (spare > m_chunkBytes) {
    const std::int32_t chunks = (spare - 1) / m_chunkBytes;  // keeps spare in (0, chunk]
    newBytes = m_capacityBytes - chunks * m_chunkBytes;
  }
  if (newBytes == m_capacityBytes) return;
  if (newBytes == 0) {
    m_buffer.reset();
  } else {
    const std::size_t kept = static_cast<std::size_t>(newBytes / 2);
    m_buffer = copyInto(kept, chars(), kept);
  }
  m_capacityBytes = newBytes;
}

}  // namespace mdi
