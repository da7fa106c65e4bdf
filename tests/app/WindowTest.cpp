// The real main window under the offscreen platform, with message boxes,
// pickers, the launcher and the drive table replaced by fakes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <fstream>

#include "app/QtControls.h"
#include "jobs/JobList.h"
#include "tests/RecordFields.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

std::string bytes(std::size_t n, unsigned seed) {
  std::string v(n, '\0');
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<char>((i * 31 + seed * 7 + i / 512) & 0xFF);
  return v;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path / "out");
    w = h.start(dir.path.string(), [](FormState& f, const Separators&) {
      const int r = f.iGrid1.addRow();
      f.iGrid1.setValue(r, 1, std::int64_t{0});
      f.iGrid1.setValue(r, 2, "TEST DISK");
      f.iGrid1.setValue(r, 6, std::int64_t{512});
    });
  }
  QPushButton* button(const char* n) { return w->findChild<QPushButton*>(n); }
  QCheckBox* check(const char* n) { return w->findChild<QCheckBox*>(n); }
  // Adds files through "Add Image File(s)" and moves each into the job list.
  void addImages(const std::vector<std::string>& paths) {
    h.pickers.files.push_back(paths);
    button("Command4")->click();
    GridModel& g = w->form().iGrid1;
    for (const std::string& p : paths) {
      for (int r = 1; r <= g.rowCount(); ++r)
        if (g.value(r, 2) == p) g.setCurrentRow(r);
      w->jobEditor().AddDriveToJobList();
    }
  }
  std::string out(const char* name) const { return dir / ("out/" + std::string(name)); }

  ScratchDir dir{"mdi-win-"};
  WindowHarness h;
  FakeMessageBox& msg = h.msg;
  std::unique_ptr<frmMain> w;
};

TEST_F(Window, StartUpEndState) {
  EXPECT_EQ(w->windowTitle().toStdString(), "Vantor - Multi Drive Imaging With sector Mutate");
  EXPECT_FALSE(button("Command2")->isEnabled());
  EXPECT_EQ(w->controls().text(Ctl::Label2), "No target selected");
  EXPECT_EQ(w->controls().statusText(1), "Ready");
  EXPECT_EQ(w->controls().statusText(2), "V 1.0.0");
  EXPECT_FALSE(w->findChild<QLabel*>("AlertBox1")->isVisible());
  EXPECT_EQ(w->form().iGrid1.rowCount(), 1);
  EXPECT_FALSE(w->findChild<QProgressBar*>("ProgBarXP1")->isVisible());
  EXPECT_FALSE(w->findChild<QPushButton*>("Command6")->isVisible());
  EXPECT_EQ(w->form().iGrid2.columnCount(), 10);
}

TEST_F(Window, StraightAndMutateRunsThroughTheWindow) {
  h.pickers.folders = {(dir.path / "out").string()};
  button("Command1")->click();
  EXPECT_EQ(w->controls().text(Ctl::Label2), (dir.path / "out").string());
  const std::string a = bytes(300000, 1), b = bytes(520 * 700, 2);
  std::ofstream(dir / "a.img", std::ios::binary) << a;
  std::ofstream(dir / "b.img", std::ios::binary) << b;
  addImages({dir / "a.img", dir / "b.img"});
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  EXPECT_EQ(w->controls().text(Ctl::Label3), "Right click on drive to change target folder.");
  ASSERT_TRUE(button("Command2")->isEnabled());
  button("Command2")->click();
  EXPECT_EQ(test::fileText(out("001.bin")), a);
  EXPECT_EQ(test::fileText(out("002.bin")), b);
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
  std::string want;
  for (std::size_t p = 0; p < b.size(); p += 520) want += b.substr(p, 512);
  EXPECT_EQ(test::fileText(out("002.bin")), want);
  EXPECT_EQ(test::fileText(out("001.bin")), a);
  EXPECT_EQ(msg.count("File exists"), 2);
}

// The byte counter and the bar, which the copy loops set every cycle, are
// painted at most once a frame, yet always read back as last set.
struct Painted {
  const char* name;
  std::function<void(Controls&, int)> set;
  std::function<std::string(Controls&)> readBack;
  std::function<std::string(frmMain&)> shown;
};
const Painted kPainted[] = {
    {"Counter", [](Controls& ui, int i) { ui.setText(Ctl::Label5, std::to_string(i)); },
     [](Controls& ui) { return ui.text(Ctl::Label5); },
     [](frmMain& w) { return w.findChild<QLabel*>("Label5")->text().toStdString(); }},
    {"Bar", [](Controls& ui, int i) { ui.setProgressValue(i); },
     [](Controls& ui) { return std::to_string(ui.progressValue()); },
     [](frmMain& w) { return std::to_string(w.findChild<QProgressBar*>("ProgBarXP1")->value()); }},
};
class EveryCycle : public Window, public ::testing::WithParamInterface<Painted> {};

TEST_P(EveryCycle, IsPaintedAtMostOnceAFrame) {
  Controls& ui = w->controls();
  ui.setProgressMaximum(20000);
  QElapsedTimer t;
  t.start();
  int changes = 0;
  std::string last = GetParam().shown(*w);
  for (int i = 1; i <= 20000; ++i) {  // as fast as the loops would, each followed by an event pump
    GetParam().set(ui, i);
    QCoreApplication::processEvents();
    if (GetParam().shown(*w) != last) ++changes, last = GetParam().shown(*w);
  }
  const qint64 ms = t.elapsed();
  EXPECT_EQ(GetParam().readBack(ui), "20000");
  EXPECT_LE(changes, ms / QtControls::kFrameMs + 2) << ms << " ms";
  EXPECT_TRUE(within([&] { return GetParam().shown(*w) == "20000"; }));
}
INSTANTIATE_TEST_SUITE_P(Window, EveryCycle, ::testing::ValuesIn(kPainted), ByName());

// Whatever else changes is shown together with the latest counter and bar.
TEST_F(Window, AnyOtherChangeShowsTheWaitingCounterAndBarFirst) {
  Controls& ui = w->controls();
  ui.setProgressMaximum(100);
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
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
      ui.setText(Ctl::Label5, std::to_string(++value));
      ui.setProgressValue(value);
    }
    change();
    EXPECT_EQ(w->findChild<QLabel*>("Label5")->text().toStdString(), std::to_string(value)) << what;
    EXPECT_EQ(w->findChild<QProgressBar*>("ProgBarXP1")->value(), value) << what;
  }
}

}  // namespace
}  // namespace mdi
