#pragma once
// The core's view of frmMain's widgets, found by object name.
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <array>
#include <optional>
#include <string>

#include "platform/Controls.h"

class QWidget;
class QLabel;
class QProgressBar;
class QAction;

namespace mdi {

class QtControls final : public Controls {
 public:
  QtControls(QWidget* window, QTimer* timer, QLabel* panel1, QLabel* panel2, QAction* mnuHelp, QAction* mnuSetTarget);
  void setEnabled(Ctl c, bool on) override;
  bool isEnabled(Ctl c) const override;
  void setVisible(Ctl c, bool on) override;
  bool isVisible(Ctl c) const override;
  void setText(Ctl c, const std::string& text) override;
  std::string text(Ctl c) const override;
  bool isChecked(Ctl c) const override;
  void setChecked(Ctl c, bool on) override;
  void setStatusText(int panel, const std::string& text) override;
  std::string statusText(int panel) const override;
  int progressMaximum() const override;
  void setProgressMaximum(int max) override;
  int progressValue() const override;
  void setProgressValue(int value) override;
  void setCloseAllowed(bool allowed) override;
  void beep() override;
  void setFocus(Ctl c) override;
  void setBusyCursor(bool busy) override;
  bool closeAllowed() const { return m_closeAllowed; }

  // The longest a value set every cycle waits before it is painted.
  static constexpr int kFrameMs = 16;

 private:
  QWidget* widget(Ctl c) const;
  QProgressBar* bar() const;
  void setTextNow(Ctl c, const QString& t);

  // The copy loops set the byte counter (Label5) and the bar's value every
  // cycle, tens of thousands of times a second, and painting each value
  // costs more than the cycle's I/O. Those two are painted at most once a
  // frame: a value that comes within a frame of the last one shown waits for
  // the frame timer, and reads return it at once. Any other change to the
  // window paints the waiting values first, so the screen never shows a
  // newer value of another control beside an older counter or bar.
  bool showNow();
  void showWaiting();
  // Paints `value` through `show` when a frame has passed since the last
  // paint, or keeps it in `waiting` for the frame timer.
  template <class T, class Show>
  void showOrWait(std::optional<T>& waiting, const T& value, Show&& show) {
    if (showNow()) {
      waiting.reset();
      show();
    } else {
      waiting = value;
    }
  }
  QElapsedTimer m_sinceShown;
  QTimer m_frame;
  std::optional<std::string> m_waitingCounter;
  std::optional<int> m_waitingBar;

  QWidget* m_window;
  // Widgets by control, looked up by name once: the copy loops touch a few
  // of them every cycle.
  mutable std::array<QPointer<QWidget>, static_cast<std::size_t>(Ctl::Count_)> m_widgets;
  mutable QPointer<QProgressBar> m_bar;
  QTimer* m_timer;
  QLabel* m_panel1;
  QLabel* m_panel2;
  QAction* m_mnuHelp;
  QAction* m_mnuSetTarget;
  bool m_closeAllowed = true;
};

}  // namespace mdi
