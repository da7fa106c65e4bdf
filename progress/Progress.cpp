#include "progress/Progress.h"

#include <cstdlib>
#include <limits>
#include <optional>

#include "support/NumberFormat.h"

namespace mdi {

namespace {
constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();

std::optional<std::int32_t> checked32(std::int64_t v) {
  if (v < kI32Min || v > kI32Max) return std::nullopt;
  return static_cast<std::int32_t>(v);
}
std::optional<std::int32_t> round32(double v) {
  const auto r = roundHalfEven(v, kI32Min, kI32Max);
  if (!r) return std::nullopt;
  return static_cast<std::int32_t>(*r);
}
std::string two(std::int64_t v) {
  std::string t = v < 10 ? "0" : "";
  return t.append(std::to_string(v));
}
}  // namespace

std::string TimeString(std::int32_t seconds) {
  const std::int64_t s = std::llabs(static_cast<std::int64_t>(seconds));
  const std::int64_t hours = s / 3600;
  const std::int64_t minutes = s / 60 - hours * 60;
  const std::int64_t secs = s % 60;
  return std::to_string(hours) + ":" + two(minutes) + ":" + two(secs);
}

void Progress::Timer1Tick() {
  RunState& r = m_form.run;
  // 1. Now.
  r.NowTick = m_clock.tickMs();
  // 2. Elapsed whole seconds; the tick difference is 32-bit and fails when
  //    it overflows (a tick that wrapped past the signed range).
  if (auto diff = checked32(static_cast<std::int64_t>(r.NowTick) - r.StartTick)) {
    if (auto e = round32(static_cast<double>(*diff) / 1000.0)) r.ElapsedSeconds = *e;
  }
  // 3. Rate of one source; skipped while no whole second has passed.
  if (r.ElapsedSeconds != 0) {
    if (auto b = round32(static_cast<double>(r.BytesDone) / r.ElapsedSeconds)) r.BytesPerSecond = *b;
  }
  // 4. Time left at that rate; skipped while nothing has been copied.
  if (r.BytesPerSecond != 0) {
    if (auto rem = round32(static_cast<double>(r.TotalBytes - r.BytesDone) / r.BytesPerSecond))
      r.RemainingSeconds = *rem;
  }
  // 5. Whole MiB per second.
  if (auto mb = round32(static_cast<double>(r.BytesPerSecond) / 1048576.0)) r.MBPerSecond = *mb;
  // 6. The remaining time is shown doubled: the estimate runs on the
  //    largest source alone and has always been read that way.
  if (auto twice = checked32(static_cast<std::int64_t>(r.RemainingSeconds) * 2))
    m_ui.setText(Ctl::Label7, TimeString(*twice));
  // 7.
  m_ui.setText(Ctl::Label12, TimeString(r.ElapsedSeconds));
  // 8. MiB per minute over every job of the list.
  if (auto perMin = checked32(static_cast<std::int64_t>(r.MBPerSecond) * 60 * m_form.iGrid2.rowCount())) {
    m_ui.setText(Ctl::Label9, formatGrouped(*perMin, m_locale.separators()));
  }
}

void Progress::Check3Click() { m_ui.setVisible(Ctl::ProgBarXP1, m_ui.isChecked(Ctl::Check3)); }

void Progress::ShowRunProgressBar() {
  const Fixed4 largest = m_form.run.LargestBlocks;
  if (largest.raw() <= 0) return;
  const std::int64_t max = largest.plus(Fixed4::fromInt(1)).roundToInt();
  m_ui.setProgressMaximum(static_cast<int>(std::min<std::int64_t>(max, kI32Max)));
  m_ui.setVisible(Ctl::ProgBarXP1, true);
}

void Progress::ShowBlockProgress(std::int32_t cycles) {
  if (m_ui.isChecked(Ctl::Check3) && cycles <= m_ui.progressMaximum()) m_ui.setProgressValue(cycles);
  m_ui.setText(Ctl::Label5,
               formatGrouped(static_cast<std::int64_t>(cycles) * m_form.run.BlockSize, m_locale.separators()));
}

void Progress::ShowTailProgress(std::int32_t cycles) {
  if (cycles <= m_ui.progressMaximum()) m_ui.setProgressValue(cycles);
}

void Progress::HideRunProgressBar() { m_ui.setVisible(Ctl::ProgBarXP1, false); }

}  // namespace mdi
