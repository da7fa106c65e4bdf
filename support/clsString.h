#pragma once
// A growable text buffer for assembling a long string from many pieces
// without copying the whole string for every piece. Characters are 16-bit;
// the three sizes are held as 32-bit signed byte counts (two bytes per
// character) and every accessor reports characters.
//
// The buffer grows only at its end, by a fixed chunk of ChunkSize(chars)
// characters each step (never by doubling). Spare room after the content is
// filled with spaces where it was added by growth.
//
// Operations that can fail return a StrError and leave the object unchanged
// when they do: an index outside the content gives IndexOutOfRange (9), a
// size that would not fit the 32-bit byte counts gives Overflow (6).
//
// A chunk of zero or fewer characters is accepted. With such a chunk every
// growth step makes the buffer exactly as long as the operation needs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
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
  // Sets the growth step in characters; Overflow when the step in bytes
  // does not fit.
  StrError ChunkSize(std::int32_t chars);

  // The content in place, without copying it: valid until the next change.
  std::u16string_view Content() const {
    return {m_buffer.get(), static_cast<std::size_t>(m_usedBytes > 0 ? m_usedBytes / 2 : 0)};
  }
  // Adds raw bytes after the content as text, one character per byte (each
  // character holds the byte's value, 0 to 255).
  StrError Append(std::span<const std::byte> bytes);

  // Removes count characters starting at index. The capacity is unchanged.
  StrError Remove(std::int32_t index, std::int32_t count);

 private:
  // Makes the buffer hold at least neededBytes, growing by whole chunks in
  // one re-allocation. Overflow (and no change) when the sizes do not fit.
  StrError ensureCapacity(std::int64_t neededBytes);

  // Buffer of Capacity() characters, or none while the capacity is 0.
  std::unique_ptr<char16_t[]> m_buffer;
  char16_t* chars() const { return m_buffer.get(); }
  std::int32_t m_usedBytes = 0;
  std::int32_t m_capacityBytes = 0;
  std::int32_t m_chunkBytes = kDefaultChunkChars * 2;
};

}  // namespace mdi
