#pragma once
// One job's sector conversion through a run: its layout and sizes, how far
// into its source it has converted, and its protection-information check
// when the layout and sizes call for one (Data first, 520-byte sectors).
// The run hands it every block it reads, in source order.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "convert/ProtectionInfo.h"
#include "convert/SectorLayout.h"

namespace mdi {

class JobConversion {
 public:
  // protectionType: what the drive reports (0 for an image file or a drive
  // that does not say); it decides whether reference tags are checked.
  JobConversion(SectorLayout layout, std::int32_t s, std::int32_t t, int protectionType = 0);

  // Converts the next block read from the source: whole sectors, except a
  // partial sector at the source's end. Afterwards image() and extra() hold
  // its bytes until the next call. false, with both empty and the position
  // unchanged, when the layout does not fit or the previous block ended
  // inside a sector.
  bool convert(std::span<const std::byte> block);

  std::span<const std::byte> image() const { return *m_image; }
  // Owns image()'s bytes: whoever holds it may keep writing them after this
  // object is gone.
  std::shared_ptr<const void> imageOwner() const { return m_image; }
  std::span<const std::byte> extra() const { return m_extra; }
  // The next block begins at source byte `pos`, on a sector boundary: a
  // job reading around a failing area converts its blocks out of order.
  void restartAt(std::uint64_t pos) {
    m_sourceBytes = pos;
    m_piCarry.clear();
  }
  // Where source byte `pos` lands: in the image and in `.extra`.
  LayoutSplit split(std::uint64_t pos) const { return layoutSplit(m_layout, m_s, m_t, pos); }
  // Whether the job has a `.extra` to write (see layoutHasExtra).
  bool hasExtra() const { return m_hasExtra; }
  // The job's PI check; null when the layout and sizes have none.
  const PiChecker* pi() const { return m_pi ? &*m_pi : nullptr; }

 private:
  void checkPi(std::span<const std::byte> block);

  SectorLayout m_layout;
  std::int32_t m_s;
  std::int32_t m_t;
  bool m_hasExtra;
  std::optional<PiChecker> m_pi;
  // Equal sizes copy in blocks that need not end on a sector boundary: the
  // start of a sector the check has not seen whole yet.
  std::vector<std::byte> m_piCarry;
  std::uint64_t m_sourceBytes = 0;
  std::shared_ptr<std::vector<std::byte>> m_image = std::make_shared<std::vector<std::byte>>();
  std::vector<std::byte> m_extra;
};

}  // namespace mdi
