#include "app/QtControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace mdi {

QtControls::QtControls(QWidget* window, QTimer* timer, QLabel* panel1, QLabel* panel2, QAction* mnuHelp,
                       QAction* mnuSetTarget)
    : m_window(window),
      m_timer(timer),
      m_panel1(panel1),
      m_panel2(panel2),
      m_mnuHelp(mnuHelp),
      m_mnuSetTarget(mnuSetTarget) {
  m_frame.setSingleShot(true);
  m_frame.callOnTimeout([this] { showWaiting(); });
}

bool QtControls::showNow() {
  if (m_frame.isActive()) return false;
  if (!m_sinceShown.isValid() || m_sinceShown.elapsed() >= kFrameMs) {
    m_sinceShown.start();
    return true;
  }
  m_frame.start(static_cast<int>(kFrameMs - m_sinceShown.elapsed()));
  return false;
}

void QtControls::showWaiting() {
  m_frame.stop();
  if (!m_waitingCounter && !m_waitingBar) return;
  if (m_waitingCounter) setTextNow(Ctl::Label5, QString::fromStdString(*std::exchange(m_waitingCounter, std::nullopt)));
  if (m_waitingBar) bar()->setValue(*std::exchange(m_waitingBar, std::nullopt));
  m_sinceShown.start();
}

QWidget* QtControls::widget(Ctl c) const {
  auto& slot = m_widgets[static_cast<std::size_t>(c)];
  if (!slot) slot = m_window->findChild<QWidget*>(ctlName(c));
  return slot;
}
QProgressBar* QtControls::bar() const {
  if (!m_bar) m_bar = m_window->findChild<QProgressBar*>("ProgBarXP1");
  return m_bar;
}

void QtControls::setEnabled(Ctl c, bool on) {
  showWaiting();
  if (c == Ctl::Timer1) {
    on ? m_timer->start() : m_timer->stop();
    return;
  }
  if (c == Ctl::mnuHelp) {
    m_mnuHelp->setEnabled(on);
    return;
  }
  if (c == Ctl::mnuSetTarget) {
    m_mnuSetTarget->setEnabled(on);
    return;
  }
  if (QWidget* w = widget(c)) w->setEnabled(on);
}
bool QtControls::isEnabled(Ctl c) const {
  if (c == Ctl::Timer1) return m_timer->isActive();
  if (c == Ctl::mnuHelp) return m_mnuHelp->isEnabled();
  if (c == Ctl::mnuSetTarget) return m_mnuSetTarget->isEnabled();
  QWidget* w = widget(c);
  return w && w->isEnabled();
}
void QtControls::setVisible(Ctl c, bool on) {
  showWaiting();
  if (QWidget* w = widget(c)) w->setVisible(on);
}
bool QtControls::isVisible(Ctl c) const {
  QWidget* w = widget(c);
  return w && !w->isHidden();
}
void QtControls::setText(Ctl c, const std::string& text) {
  if (c == Ctl::Label5) {
    showOrWait(m_waitingCounter, text, [&] { setTextNow(c, QString::fromStdString(text)); });
    return;
  }
  showWaiting();
  setTextNow(c, QString::fromStdString(text));
}

void QtControls::setTextNow(Ctl c, const QString& t) {
  if (c == Ctl::mnuHelp) {
    m_mnuHelp->setText(t);
    return;
  }
  if (c == Ctl::mnuSetTarget) {
    m_mnuSetTarget->setText(t);
    return;
  }
  QWidget* w = widget(c);
  if (auto* l = qobject_cast<QLabel*>(w)) l->setText(t);
  else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(t);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(t);
  else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(t);
}
std::string QtControls::text(Ctl c) const {
  if (c == Ctl::Label5 && m_waitingCounter) return *m_waitingCounter;
  if (c == Ctl::mnuHelp) return m_mnuHelp->text().toStdString();
  if (c == Ctl::mnuSetTarget) return m_mnuSetTarget->text().toStdString();
  QWidget* w = widget(c);
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
  return {};
}
bool QtControls::isChecked(Ctl c) const {
  auto* b = qobject_cast<QAbstractButton*>(widget(c));
  return b && b->isChecked();
}
void QtControls::setChecked(Ctl c, bool on) {
  showWaiting();
  if (auto* b = qobject_cast<QAbstractButton*>(widget(c))) b->setChecked(on);
}
void QtControls::setStatusText(int panel, const std::string& text) {
  showWaiting();
  (panel == 2 ? m_panel2 : m_panel1)->setText(QString::fromStdString(text));
}
std::string QtControls::statusText(int panel) const { return (panel == 2 ? m_panel2 : m_panel1)->text().toStdString(); }
int QtControls::progressMaximum() const { return bar()->maximum(); }
void QtControls::setProgressMaximum(int max) {
  showWaiting();
  bar()->setMaximum(max);
}
int QtControls::progressValue() const { return m_waitingBar ? *m_waitingBar : bar()->value(); }
void QtControls::setProgressValue(int value) {
  showOrWait(m_waitingBar, value, [&] { bar()->setValue(value); });
}
void QtControls::setCloseAllowed(bool allowed) {
  showWaiting();
  m_closeAllowed = allowed;
  // The window's closeEvent refuses every close request meanwhile. The
  // close button is taken away on the platform window itself: changing the
  // widget's flags on a shown window re-creates it, which hides and shows
  // it again and lets the window manager move it.
  if (QWindow* handle = m_window->windowHandle()) {
    handle->setFlag(Qt::WindowCloseButtonHint, allowed);
  } else {
    m_window->setWindowFlag(Qt::WindowCloseButtonHint, allowed);
  }
}
void QtControls::beep() { QApplication::beep(); }
void QtControls::setFocus(Ctl c) {
  showWaiting();
  if (QWidget* w = widget(c)) w->setFocus();
}
void QtControls::setBusyCursor(bool busy) {
  showWaiting();
  if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
  else QApplication::restoreOverrideCursor();
}

}  // namespace mdi
