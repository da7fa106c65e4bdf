#pragma once
// The core's view of frmMain's widgets, found by object name.
#include <QPointer>
#include <array>

#include "platform/Controls.h"

class QWidget;
class QLabel;
class QTimer;
class QProgressBar;
class QAction;

namespace mdi {

class QtControls final : public Controls {
 public:
  QtControls(QWidget* window, QTimer* timer, QLabel* panel1, QLabel* panel2, QAction* mnuHelp,
             QAction* mnuSetTarget);
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

 private:
  QWidget* widget(Ctl c) const;
  QProgressBar* bar() const;
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
