#include "tests/fakes/Fakes.h"

namespace mdi {

MsgAnswer FakeMessageBox::show(const Message& m) {
  shown.push_back(m);
  if (onShow) onShow(m);
  if (auto once = m_once.find(m.title); once != m_once.end() && !once->second.empty()) return takeFirst(once->second);
  if (auto it = m_answers.find(m.title); it != m_answers.end()) return it->second;
  return m.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
}

std::vector<std::string> FakeMessageBox::titles() const {
  std::vector<std::string> t;
  for (const auto& m : shown) t.push_back(m.title);
  return t;
}

bool FakeLauncher::startDetached(const std::string& program, const std::vector<std::string>& args) {
  std::string line = program;
  for (const auto& a : args) line += " " + a;
  commands.push_back(line);
  return true;
}

void FakeEventPump::processEvents() {
  ++calls;
  if (m_every) m_every();
  // Taken off the table first: an action may register new ones.
  if (auto due = m_actions.extract(calls))
    for (auto& a : due.mapped()) a();
}

void FakeControls::setEnabled(Ctl c, bool on) {
  st(c).enabled = on;
  log.push_back(std::string("enable ") + ctlName(c) + " " + (on ? "1" : "0"));
}
void FakeControls::setVisible(Ctl c, bool on) {
  st(c).visible = on;
  log.push_back(std::string("visible ") + ctlName(c) + " " + (on ? "1" : "0"));
}
void FakeControls::setStatusText(int panel, const std::string& text) {
  m_panels[panel] = text;
  if (panel == 1) statusHistory.push_back(text);
  log.push_back("status " + std::to_string(panel) + " " + text);
}
std::string FakeControls::statusText(int panel) const {
  auto it = m_panels.find(panel);
  return it == m_panels.end() ? std::string() : it->second;
}
void FakeControls::setProgressValue(int value) {
  m_progressValue = value;
  progressValues.push_back(value);
}
void FakeControls::setCloseAllowed(bool allowed) {
  closeAllowed = allowed;
  log.push_back(std::string("close ") + (allowed ? "1" : "0"));
}

}  // namespace mdi
