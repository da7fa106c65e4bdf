#include "convert/ConvertSectors.h"

#include <algorithm>

#include "support/ByteText.h"
#include "support/clsString.h"

namespace mdi {

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock) {
  clsString builder;
  ConvertSectors(block, s, t, ConvertedBlock, builder);
}

void ConvertSectors(std::span<const std::byte> block, std::int32_t s, std::int32_t t,
                    std::vector<std::byte>& ConvertedBlock, clsString& builder) {
  if (s <= 0 || t <= 0 || block.empty()) {
    ConvertedBlock.clear();
    return;
  }
  // The pieces travel through the builder as text, one character per byte.
  builder.Remove(0, builder.Length());
  // One growth step as large as the whole result: the block is built with a
  // single allocation instead of one re-allocation per default chunk.
  const std::int64_t whole = static_cast<std::int64_t>(block.size() / static_cast<std::size_t>(s)) * t + t;
  if (whole > builder.Capacity() && whole <= clsString::kDefaultChunkChars * 64)
    builder.ChunkSize(static_cast<std::int32_t>(whole - builder.Capacity()));
  const std::size_t n = block.size();
  const std::size_t step = static_cast<std::size_t>(s);
  const std::size_t want = static_cast<std::size_t>(t);
  // A target sector longer than its source is filled with zeros, never
  // with the next source sector's first bytes.
  const std::vector<std::byte> fill(want > step ? want - step : 0);
  bool ok = true;
  for (std::size_t p = 0; p < n && ok; p += step) {
    const std::size_t left = n - p;
    ok = builder.Append(block.subspan(p, std::min({want, step, left}))) == StrError::None;
    if (ok && left >= step && !fill.empty()) ok = builder.Append(fill) == StrError::None;
    if (left <= step) break;  // last step; also keeps p + step from wrapping
  }

  // Narrowed straight from the builder's content. A vector already of the
  // result's length (every main-pass block of a job) is neither re-allocated
  // nor cleared first: every byte is overwritten.
  const std::u16string_view text = builder.Content();
  ConvertedBlock.resize(text.size());
  narrowChars(text.data(), ConvertedBlock.data(), text.size());
}

}  // namespace mdi
