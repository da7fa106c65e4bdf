#pragma once
// Test doubles for every platform service, in a library of the tests
// (mdi_fakes) that the benchmarks link too.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Controls.h"
#include "platform/EventPump.h"
#include "platform/Launcher.h"
#include "platform/LocaleInfo.h"
#include "platform/MessageBox.h"
#include "platform/Pickers.h"
#include "platform/SystemInfo.h"

namespace mdi {

// The first of the answers queued, taken off the queue; {} when none is left.
template <class T>
T takeFirst(std::vector<T>& queue) {
  if (queue.empty()) return {};
  T first = std::move(queue.front());
  queue.erase(queue.begin());
  return first;
}

// Answers each box by its title (default: Yes for questions, Ok otherwise)
// and keeps every box shown, in order. A hook may run while a box is open,
// as the real modal loop would let timer ticks through.
class FakeMessageBox final : public MessageBox {
 public:
  MsgAnswer show(const Message& m) override;
  void answer(const std::string& title, MsgAnswer a) { m_answers[title] = a; }
  // Answers only the next box with that title, then falls back.
  void answerOnce(const std::string& title, MsgAnswer a) { m_once[title].push_back(a); }
  std::vector<Message> shown;
  std::vector<std::string> titles() const;
  int count(const std::string& title) const { return static_cast<int>(std::ranges::count(titles(), title)); }
  std::function<void(const Message&)> onShow;

 private:
  std::map<std::string, MsgAnswer> m_answers;
  std::map<std::string, std::vector<MsgAnswer>> m_once;
};

class FakeClock final : public Clock {
 public:
  std::int32_t tickMs() override { return now += advance; }
  std::int32_t now = 0;
  std::int32_t advance = 0;  // added at every reading: time that passes
};

// A host name and home folder the test sets, and a wall clock stopped at
// the epoch.
class FakeSystemInfo final : public SystemInfo {
 public:
  std::string hostName() const override { return host; }
  std::chrono::system_clock::time_point now() const override { return {}; }
  std::string homeFolder() const override { return home; }
  std::string host = "testhost";
  std::string home = "/home/tester";
};

class FakeLauncher final : public Launcher {
 public:
  bool startDetached(const std::string& program, const std::vector<std::string>& args) override;
  // Each started command as one line: program and arguments joined by blanks.
  std::vector<std::string> commands;
};

// Counts calls and runs the action registered for a call number (1-based),
// e.g. "press Stop during cycle 3".
class FakeEventPump final : public EventPump {
 public:
  void processEvents() override;
  void at(int call, std::function<void()> action) { m_actions[call].push_back(std::move(action)); }
  void every(std::function<void()> action) { m_every = std::move(action); }
  // Events handled while a cycle waits for a drive: not counted among the
  // cycles' calls, with an action of their own.
  void processEventsWhileWaiting() override {
    if (m_whileWaiting) m_whileWaiting();
  }
  void whileWaiting(std::function<void()> action) { m_whileWaiting = std::move(action); }
  int calls = 0;

 private:
  std::map<int, std::vector<std::function<void()>>> m_actions;
  std::function<void()> m_every;
  std::function<void()> m_whileWaiting;
};

class FakeLocale final : public LocaleInfo {
 public:
  Separators separators() const override { return sep; }
  Separators sep;
};

class FakePickers final : public Pickers {
 public:
  std::string chooseFolder(const std::string& title) override {
    folderTitles.push_back(title);
    return takeFirst(folders);
  }
  std::vector<std::string> chooseFiles(const std::string&, const std::string& startFolder) override {
    fileStartFolders.push_back(startFolder);
    return takeFirst(files);
  }
  // Answers in order; when exhausted, "" / nothing (cancel).
  std::vector<std::string> folders;
  std::vector<std::vector<std::string>> files;
  std::vector<std::string> folderTitles;
  std::vector<std::string> fileStartFolders;
};

// Keeps every control's state in memory and logs each enabling, showing,
// status text and Close switch as "<op> <control> <value>", so tests can
// check order as well as state.
class FakeControls final : public Controls {
 public:
  void setEnabled(Ctl c, bool on) override;
  bool isEnabled(Ctl c) const override { return st(c).enabled; }
  void setVisible(Ctl c, bool on) override;
  bool isVisible(Ctl c) const override { return st(c).visible; }
  void setText(Ctl c, const std::string& text) override { st(c).text = text; }
  std::string text(Ctl c) const override { return st(c).text; }
  bool isChecked(Ctl c) const override { return st(c).checked; }
  void setChecked(Ctl c, bool on) override { st(c).checked = on; }
  void setStatusText(int panel, const std::string& text) override;
  std::string statusText(int panel) const override;
  int progressMaximum() const override { return m_progressMax; }
  void setProgressMaximum(int max) override { m_progressMax = max; }
  int progressValue() const override { return m_progressValue; }
  void setProgressValue(int value) override;
  void setCloseAllowed(bool allowed) override;
  void beep() override { ++beeps; }
  void setFocus(Ctl c) override { focus = c; }
  void setBusyCursor(bool) override {}

  bool closeAllowed = true;
  int beeps = 0;
  std::optional<Ctl> focus;
  std::vector<std::string> log;
  // Every text panel 1 of the status bar showed, in order.
  std::vector<std::string> statusHistory;
  std::vector<int> progressValues;

 private:
  struct State {
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string text;
  };
  State& st(Ctl c) { return m_state[static_cast<std::size_t>(c)]; }
  const State& st(Ctl c) const { return m_state[static_cast<std::size_t>(c)]; }
  std::array<State, static_cast<std::size_t>(Ctl::Count_)> m_state;
  std::map<int, std::string> m_panels;
  int m_progressMax = 100;
  int m_progressValue = 0;
};

}  // namespace mdi
