#pragma once
// The run's read-outs: the once-a-second refresh of speed and times
// (Timer1), the bytes-copied label and the progress bar steps the copy
// loops take.
#include <cstdint>
#include <string>

#include "jobs/FormState.h"
#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/LocaleInfo.h"

namespace mdi {

// H:MM:SS of the absolute value of `seconds`; hours have no upper limit.
std::string TimeString(std::int32_t seconds);

class Progress {
 public:
  Progress(FormState& form, Controls& ui, Clock& clock, LocaleInfo& locale)
      : m_form(form), m_ui(ui), m_clock(clock), m_locale(locale) {}

  // Timer1 tick: eight steps, each skipped on its own when its arithmetic
  // fails (32-bit overflow, division by zero, non-finite result).
  void Timer1Tick();
  // "Show Progress (Slower)" clicked: the bar follows the box at once.
  void Check3Click();

  void ShowRunProgressBar();
  void ShowBlockProgress(std::int32_t cycles);
  void ShowTailProgress(std::int32_t cycles);
  void HideRunProgressBar();

 private:
  FormState& m_form;
  Controls& m_ui;
  Clock& m_clock;
  LocaleInfo& m_locale;
};

}  // namespace mdi
