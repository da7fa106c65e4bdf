#pragma once
// Sector-mutate runs over real files with the layout under test: source
// bytes that show a misplaced byte, and the source rebuilt from a job's
// image and .extra.
#include "engine/LayoutRebuild.h"
#include "tests/engine/RunFixture.h"

namespace mdi::test {

using Bytes = std::vector<std::byte>;

inline Bytes sectorBytes(std::size_t n, unsigned seed) {
  Bytes v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::byte>((i * 131 + i / 509 + seed) & 0xFF);
  return v;
}

inline std::string firstDifference(const Bytes& got, const Bytes& want) {
  const auto m = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return "sizes " + std::to_string(got.size()) + " / " + std::to_string(want.size()) + ", first difference at byte " +
         std::to_string(m.first - got.begin());
}

class LayoutRun : public RunFixture {
 public:
  void SetUp() override {
    RunFixture::SetUp();
    ui.setChecked(Ctl::Check2, true);
  }
  std::string extraOf(int row) const { return output(row) + ".extra"; }
  // The source rebuilt from job 1's image and .extra (an absent .extra is empty).
  std::optional<Bytes> rebuilt(SectorLayout layout, int s, int t) const {
    const Bytes extra = fs::exists(extraOf(1)) ? readFile(extraOf(1)) : Bytes{};
    return rebuildSource(layout, s, t, readFile(output(1)), extra);
  }
};

}  // namespace mdi::test
