// The real main window under the offscreen platform, with message boxes,
// pickers, the launcher and the drive table replaced by fakes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>
#include <vector>

#include "app/QtControls.h"

#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

std::vector<char> bytes(std::size_t n, unsigned seed) {
  std::vector<char> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<char>((i * 31 + seed * 7 + i / 512) & 0xFF);
  return v;
}
void put(const fs::path& p, const std::vector<char>& d) {
  std::ofstream(p, std::ios::binary).write(d.data(), static_cast<std::streamsize>(d.size()));
}
std::vector<char> get(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("mdi-win-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
    auto deps = h.deps(dir.string(), [this](FormState& f, const Separators&) {
      const int r = f.iGrid1.addRow();
      f.iGrid1.setValue(r, 1, std::int64_t{0});
      f.iGrid1.setValue(r, 2, "TEST DISK");
      f.iGrid1.setValue(r, 6, std::int64_t{512});
      visibleDuringDiscovery = w->findChild<QLabel*>("AlertBox1")->isVisibleTo(w.get());
    });
    w = std::make_unique<frmMain>(std::move(deps));
    w->startUp();
  }
  void TearDown() override {
    w.reset();
    fs::remove_all(dir);
  }
  QPushButton* button(const char* n) { return w->findChild<QPushButton*>(n); }
  QCheckBox* check(const char* n) { return w->findChild<QCheckBox*>(n); }
  // Adds files through "Add Image File(s)" and moves each into the job list.
  void addImages(const std::vector<std::string>& paths) {
    pickers.files.push_back(paths);
    button("Command4")->click();
    for (std::size_t i = 0; i < paths.size(); ++i) {
      GridModel& g = w->form().iGrid1;
      for (int r = 1; r <= g.rowCount(); ++r) {
        if (g.value(r, 2) == paths[i]) g.setCurrentRow(r);
      }
      w->jobEditor().AddDriveToJobList();
    }
  }

  fs::path dir;
  WindowHarness h;
  FakeMessageBox& msg = h.msg;
  FakePickers& pickers = h.pickers;
  int& quits = h.quits;
  std::unique_ptr<frmMain> w;
  bool visibleDuringDiscovery = false;
};

TEST_F(Window, StartUpEndState) {
  EXPECT_EQ(w->windowTitle().toStdString(), "Vantor - Multi Drive Imaging With sector Mutate");
  EXPECT_FALSE(button("Command2")->isEnabled());
  EXPECT_EQ(w->controls().text(Ctl::Label2), "No target selected");
  EXPECT_EQ(w->controls().statusText(1), "Ready");
  EXPECT_EQ(w->controls().statusText(2), "V 1.0.0");
  EXPECT_TRUE(visibleDuringDiscovery);
  EXPECT_FALSE(w->findChild<QLabel*>("AlertBox1")->isVisible());
  EXPECT_EQ(w->controls().text(Ctl::mnuHelp), "No Help Available");
  EXPECT_FALSE(w->controls().isEnabled(Ctl::mnuHelp));
  EXPECT_EQ(w->form().iGrid1.rowCount(), 1);
  EXPECT_FALSE(w->findChild<QProgressBar*>("ProgBarXP1")->isVisible());
  EXPECT_FALSE(w->findChild<QPushButton*>("Command6")->isVisible());
  EXPECT_EQ(w->form().iGrid2.columnCount(), 10);
}

TEST_F(Window, StraightAndMutateRunsThroughTheWindow) {
  pickers.folders = {(dir / "out").string()};
  button("Command1")->click();
  EXPECT_EQ(w->controls().text(Ctl::Label2), (dir / "out").string());
  const auto a = bytes(300000, 1), b = bytes(520 * 700, 2);
  put(dir / "a.img", a);
  put(dir / "b.img", b);
  addImages({(dir / "a.img").string(), (dir / "b.img").string()});
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  EXPECT_EQ(w->controls().text(Ctl::Label3), "Right click on drive to change target folder.");
  ASSERT_TRUE(button("Command2")->isEnabled());
  button("Command2")->click();
  EXPECT_EQ(get(dir / "out" / "001.bin"), a);
  EXPECT_EQ(get(dir / "out" / "002.bin"), b);
  EXPECT_EQ(w->form().iGrid2.value(1, JobCol::Status), "Done.");
  EXPECT_EQ(w->controls().statusText(1), "Process Complete");
  // The byte counter on screen is the run's last one, not one held back.
  EXPECT_EQ(w->findChild<QLabel*>("Label5")->text().toStdString(), w->controls().text(Ctl::Label5));
  EXPECT_EQ(w->controls().text(Ctl::Label5), "524,288");  // four main-pass cycles of 128 KiB
  EXPECT_TRUE(button("Command2")->isEnabled());
  EXPECT_FALSE(button("XPButton1")->isEnabled());

  // Sector mutate on the second job: 520-byte sectors to 512.
  check("Check4")->setChecked(true);  // no sector-size notice
  check("Check2")->click();
  EXPECT_EQ(w->form().iGrid2.value(2, JobCol::SectorIn), "520");
  EXPECT_TRUE(w->form().iGrid2.isColumnVisible(JobCol::SectorIn));
  w->form().iGrid2.setValue(1, JobCol::SectorIn, "512");
  msg.answer("File exists", MsgAnswer::Yes);
  button("Command2")->click();
  std::vector<char> want;
  for (std::size_t p = 0; p < b.size(); p += 520) want.insert(want.end(), b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p + 512));
  EXPECT_EQ(get(dir / "out" / "002.bin"), want);
  EXPECT_EQ(get(dir / "out" / "001.bin"), a);
  EXPECT_EQ(msg.count("File exists"), 2);
}

TEST_F(Window, CloseRefusedWhileLockedAndExitClosesFiles) {
  w->runController().LockRunControls();
  EXPECT_FALSE(w->close());
  msg.answer("Exit?", MsgAnswer::No);
  w->mnuExitClick();
  EXPECT_EQ(quits, 0);
  msg.answer("Exit?", MsgAnswer::Yes);
  w->mnuExitClick();
  EXPECT_EQ(quits, 1);
  w->runController().UnlockRunControls();
  EXPECT_TRUE(w->close());
}

TEST_F(Window, RemovingAJobBringsTheDriveBack) {
  pickers.folders = {(dir / "out").string()};
  w->form().iGrid1.setCurrentRow(1);
  w->jobEditor().AddDriveToJobList();
  ASSERT_EQ(w->form().iGrid2.rowCount(), 1);
  EXPECT_EQ(w->form().iGrid2.value(1, JobCol::FileName), (dir / "out" / "001.bin").string());
  EXPECT_EQ(w->form().iGrid1.rowCount(), 0);
  msg.answer("Remove Entry?", MsgAnswer::No);
  w->jobEditor().JobGridDoubleClick(1, 1);
  EXPECT_EQ(w->form().iGrid2.rowCount(), 1);
  msg.answer("Remove Entry?", MsgAnswer::Yes);
  w->jobEditor().JobGridDoubleClick(1, 1);
  EXPECT_EQ(w->form().iGrid2.rowCount(), 0);
  EXPECT_EQ(w->form().iGrid1.value(1, 2), "TEST DISK");
  EXPECT_EQ(w->form().iGrid1.value(1, 6), "");
  EXPECT_FALSE(button("Command2")->isEnabled());
  EXPECT_EQ(msg.shown.back().text, "Remove TEST DISK? Are you sure?");
}

TEST_F(Window, CancelledFolderGivesABareName) {
  msg.answer("No Target", MsgAnswer::Yes);
  w->form().iGrid1.setCurrentRow(1);
  w->jobEditor().AddDriveToJobList();
  EXPECT_EQ(w->form().iGrid2.value(1, JobCol::FileName), "001.bin") << "no folder until a target is chosen";
  EXPECT_EQ(w->controls().text(Ctl::Label2), "No target selected");
}

TEST_F(Window, SectorCheckListsMismatchedDrives) {
  for (int i = 0; i < 3; ++i) {
    const int r = w->form().iGrid2.addRow();
    w->form().iGrid2.setValue(r, JobCol::ID, std::int64_t{i});
    w->form().iGrid2.setValue(r, JobCol::Model, "M" + std::to_string(i));
    w->form().iGrid2.setValue(r, JobCol::BPS, std::int64_t{512});
  }
  const int f = w->form().iGrid2.addRow();
  w->form().iGrid2.setValue(f, JobCol::ID, "File");
  check("Check2")->click();
  ASSERT_EQ(msg.count("Sector Size Error"), 1);
  EXPECT_EQ(msg.shown[0].text,
            "The following drives physical sector values do not match the input values and will cause problems.\n"
            "It is recommeded to use 'Force Read option to read these drives.\n\n"
            "0 : M0 : Reported Size : 512, Input size : 520\n"
            "1 : M1 : Reported Size : 512, Input size : 520\n"
            "2 : M2 : Reported Size : 512, Input size : 520\n");
  check("Check4")->setChecked(true);
  check("Check2")->click();
  check("Check2")->click();
  EXPECT_EQ(msg.count("Sector Size Error"), 1);
}

// The byte counter and the bar, which the copy loops set every cycle, are
// painted at most once a frame, yet always read back as last set.
class EveryCycle : public Window {
 protected:
  QLabel* counter() { return w->findChild<QLabel*>("Label5"); }
  QProgressBar* bar() { return w->findChild<QProgressBar*>("ProgBarXP1"); }
  // Pumps events until the condition holds, for at most two seconds.
  template <class F>
  bool within(F&& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
  }
  // Sets `n` values as fast as the loops would, each followed by an event
  // pump, and counts how many different values the widget took on.
  template <class Set, class Shown>
  int burst(int n, Set&& set, Shown&& shown, qint64& ms) {
    QElapsedTimer t;
    t.start();
    int changes = 0;
    auto last = shown();
    for (int i = 1; i <= n; ++i) {
      set(i);
      QCoreApplication::processEvents();
      if (shown() != last) ++changes, last = shown();
    }
    ms = t.elapsed();
    return changes;
  }
};

TEST_F(EveryCycle, CounterIsPaintedAtMostOnceAFrame) {
  Controls& ui = w->controls();
  qint64 ms = 0;
  const int changes = burst(
      20000, [&](int i) { ui.setText(Ctl::Label5, std::to_string(i)); }, [&] { return counter()->text(); }, ms);
  EXPECT_EQ(ui.text(Ctl::Label5), "20000");
  EXPECT_LE(changes, ms / QtControls::kFrameMs + 2) << ms << " ms";
  EXPECT_TRUE(within([&] { return counter()->text() == "20000"; }));
}

TEST_F(EveryCycle, BarIsPaintedAtMostOnceAFrame) {
  Controls& ui = w->controls();
  ui.setProgressMaximum(20000);
  qint64 ms = 0;
  const int changes = burst(20000, [&](int i) { ui.setProgressValue(i); }, [&] { return bar()->value(); }, ms);
  EXPECT_EQ(ui.progressValue(), 20000);
  EXPECT_LE(changes, ms / QtControls::kFrameMs + 2) << ms << " ms";
  EXPECT_TRUE(within([&] { return bar()->value() == 20000; }));
}

// Whatever else changes is shown together with the latest counter and bar.
TEST_F(EveryCycle, AnyOtherChangeShowsTheWaitingValuesFirst) {
  Controls& ui = w->controls();
  ui.setProgressMaximum(100);
  using Change = std::function<void()>;
  const std::vector<std::pair<const char*, Change>> changes = {
      {"status text", [&] { ui.setStatusText(1, "Creating image"); }},
      {"other label", [&] { ui.setText(Ctl::Label7, "0:00:01"); }},
      {"enabled", [&] { ui.setEnabled(Ctl::Command2, true); }},
      {"visible", [&] { ui.setVisible(Ctl::ProgBarXP1, false); }},
      {"checked", [&] { ui.setChecked(Ctl::Check3, false); }},
      {"bar maximum", [&] { ui.setProgressMaximum(100); }},
  };
  int value = 0;
  for (const auto& [what, change] : changes) {
    for (int i = 0; i < 3; ++i) {
      ++value;
      ui.setText(Ctl::Label5, std::to_string(value));
      ui.setProgressValue(value);
    }
    change();
    EXPECT_EQ(counter()->text().toStdString(), std::to_string(value)) << what;
    EXPECT_EQ(bar()->value(), value) << what;
  }
}

}  // namespace
}  // namespace mdi
