#include "engine/ConvertSectors.h"

#include <algorithm>
#include <string>

#include "support/ByteText.h"
#include "support/clsString.h"

namespace mdi {

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
  const std::size_t n = block.size();
  const std::size_t step = static_cast<std::size_t>(s);
  const std::size_t want = static_cast<std::size_t>(t);
  // A target sector longer than its source is filled with zeros, never
  // with the next source sector's first bytes.
  const std::vector<std::byte> fill(want > step ? want - step : 0);
  for (std::size_t p = 0; p < n; p += step) {
    const std::size_t left = n - p;
    if (builder.Append(block.subspan(p, std::min({want, step, left}))) != StrError::None) break;
    if (left >= step && !fill.empty() && builder.Append(fill) != StrError::None) break;
    if (left <= step) break;  // last step; also keeps p + step from wrapping
  }

  const std::u16string text = builder.ToString();
  ConvertedBlock.resize(text.size());
  narrowChars(text.data(), ConvertedBlock.data(), text.size());
}

}  // namespace mdi
