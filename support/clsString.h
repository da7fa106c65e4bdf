#pragma once
// A growable text buffer for assembling a long string from many pieces
// without copying the whole string for every piece. Characters are 16-bit;
// the three sizes are held as 32-bit signed byte counts (two bytes per
// character) and every accessor reports characters.
//
// The buffer grows only at its end, by a fixed chunk of ChunkSize()
// characters each step (never by doubling). Spare room after the content is
// filled with spaces where it was added by growth and keeps left-over
// characters where content was removed or replaced.
//
// Operations that can fail return a StrError and leave the object unchanged
// when they do: an index outside the content gives IndexOutOfRange (9), a
// size that would not fit the 32-bit byte counts gives Overflow (6).
//
// A chunk of zero or fewer characters is accepted. With such a chunk every
// growth step makes the buffer exactly as long as the operation needs, and
// HeapMinimize trims the spare room away completely.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace mdi {

enum class StrError : int {
  None = 0,
  Overflow = 6,
  IndexOutOfRange = 9,
};

class clsString {
 public:
  static constexpr std::int32_t kDefaultChunkChars = 8192;

  clsString() = default;

  // Content length in characters.
  std::int32_t Length() const { return m_usedBytes / 2; }
  // Buffer length in characters (content plus spare room).
  std::int32_t Capacity() const { return m_capacityBytes / 2; }
  // Growth step in characters.
  std::int32_t ChunkSize() const { return m_chunkBytes / 2; }
  // Sets the growth step; Overflow when the step in bytes does not fit.
  StrError ChunkSize(std::int32_t chars);

  // The content (a copy).
  std::u16string ToString() const;
  // The content in place, without copying it: valid until the next change.
  std::u16string_view Content() const {
    return {m_buffer.get(), static_cast<std::size_t>(m_usedBytes > 0 ? m_usedBytes / 2 : 0)};
  }
  // Replaces the content. An empty text releases the buffer.
  StrError TheString(std::u16string_view text);

  // Adds piece after the content.
  StrError Append(std::u16string_view piece);
  // Adds raw bytes after the content as text, one character per byte (each
  // character holds the byte's value, 0 to 255).
  StrError Append(std::span<const std::byte> bytes);
  StrError AppendByVal(std::u16string piece) { return Append(piece); }

  // Puts text in front of character index (0 = before the first character,
  // Length() = at the end).
  StrError Insert(std::int32_t index, std::u16string_view text);
  StrError InsertByVal(std::int32_t index, std::u16string text) { return Insert(index, text); }

  // Removes count characters starting at index. The capacity is unchanged.
  StrError Remove(std::int32_t index, std::int32_t count);

  // 1-based position of the first occurrence of text in the whole buffer
  // (spare room included), searching from 1-based position start (below 1
  // means from the first character). compare 0 matches character codes
  // exactly, 1 ignores case (ASCII and Latin-1 letters). A match is reported
  // only when its position is below Length(); otherwise, and when there is
  // no match, the result is 0. An empty text matches at the start position.
  std::int32_t Find(std::u16string_view text, std::int32_t start = 0, std::int32_t compare = 0) const;

  // Lowers the capacity a chunk at a time until the spare room is at most
  // one chunk.
  void HeapMinimize();

 private:
  // Makes the buffer hold at least neededBytes, growing by whole chunks in
  // one re-allocation. Overflow (and no change) when the sizes do not fit.
  StrError ensureCapacity(std::int64_t neededBytes);
  // Makes room for `count` more characters after the content and has
  // `write` fill them; Overflow (and no change) when they do not fit.
  template <class Write>
  StrError appendChars(std::size_t count, Write&& write) {
    if (count > static_cast<std::size_t>(INT32_MAX / 2)) return StrError::Overflow;
    if (count == 0) return StrError::None;
    const std::int64_t needed = m_usedBytes + static_cast<std::int64_t>(count) * 2;
    if (StrError e = ensureCapacity(needed); e != StrError::None) return e;
    write(chars() + m_usedBytes / 2);
    m_usedBytes = static_cast<std::int32_t>(needed);
    return StrError::None;
  }

  // Buffer of Capacity() characters, or none while the capacity is 0.
  std::unique_ptr<char16_t[]> m_buffer;
  char16_t* chars() const { return m_buffer.get(); }
  std::u16string_view whole() const { return {m_buffer.get(), static_cast<std::size_t>(m_capacityBytes / 2)}; }
  std::int32_t m_usedBytes = 0;
  std::int32_t m_capacityBytes = 0;
  std::int32_t m_chunkBytes = kDefaultChunkChars * 2;
};

}  // namespace mdi
