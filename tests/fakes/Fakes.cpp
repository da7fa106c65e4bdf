#include "tests/fakes/Fakes.h"

#include <algorithm>

namespace mdi {

MsgAnswer FakeMessageBox::show(const Message& m) {
  shown.push_back(m);
  if (onShow) onShow(m);
  auto once = m_once.find(m.title);
  if (once != m_once.end() && !once->second.empty()) {
    const MsgAnswer a = once->second.front();
    once->second.erase(once->second.begin());
    return a;
  }
  auto it = m_answers.find(m.title);
  if (it != m_answers.end()) return it->second;
  return m.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
}

std::vector<std::string> FakeMessageBox::titles() const {
  std::vector<std::string> t;
  for (const auto& m : shown) t.push_back(m.title);
  return t;
}

int FakeMessageBox::count(const std::string& title) const {
  return static_cast<int>(
      std::count_if(shown.begin(), shown.end(), [&](const Message& m) { return m.title == title; }));
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
  auto it = m_actions.find(calls);
  if (it == m_actions.end()) return;
  auto actions = std::move(it->second);
  m_actions.erase(it);
  for (auto& a : actions) a();
}

std::string FakePickers::chooseFolder(const std::string& title) {
  folderTitles.push_back(title);
  if (folders.empty()) return {};
  std::string f = folders.front();
  folders.erase(folders.begin());
  return f;
}

std::vector<std::string> FakePickers::chooseFiles(const std::string&, const std::string& startFolder) {
  fileStartFolders.push_back(startFolder);
  if (files.empty()) return {};
  auto f = files.front();
  files.erase(files.begin());
  return f;
}

FakeControls::FakeControls() : m_state(static_cast<std::size_t>(Ctl::Count_)) {}

void FakeControls::setEnabled(Ctl c, bool on) {
  st(c).enabled = on;
  log.push_back(std::string("enable ") + ctlName(c) + " " + (on ? "1" : "0"));
}
bool FakeControls::isEnabled(Ctl c) const { return st(c).enabled; }
void FakeControls::setVisible(Ctl c, bool on) {
  st(c).visible = on;
  log.push_back(std::string("visible ") + ctlName(c) + " " + (on ? "1" : "0"));
}
bool FakeControls::isVisible(Ctl c) const { return st(c).visible; }
void FakeControls::setText(Ctl c, const std::string& text) { st(c).text = text; }
std::string FakeControls::text(Ctl c) const { return st(c).text; }
bool FakeControls::isChecked(Ctl c) const { return st(c).checked; }
void FakeControls::setChecked(Ctl c, bool on) { st(c).checked = on; }
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
