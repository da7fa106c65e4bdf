// The real main window under the offscreen platform, with message boxes,
// pickers, the launcher and the drive table replaced by fakes: how it
// starts, runs through its buttons and paints, and the services it is
// handed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "app/QtControls.h"
#include "tests/RecordFields.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// Fakes in place of the system's own answers show which ones the window
// asks: the locale discovery and the counters format with, the home folder
// the image picker opens in, and the folders whose disks hold the system
// (named once, by whoever builds the window; discovery marks the drives
// under exactly those).
class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path / "out");
    locale.sep = Separators{"'", ";"};
    system.home = "/srv/lab/operator";
    FrmMainDeps deps = h.deps(dir.path.string(), [this](FormState& f, const Separators& sep) {
      listedWith = sep;
      systemFolders = f.SystemLetters;
      AddDriveRow(f.iGrid1, listedDrive(0, "/dev/sda", "TEST DISK"), sep);
    });
    deps.locale = &locale;
    deps.system = &system;
    deps.systemPaths = {"/", "/srv/imager/bin"};
    w = WindowHarness::start(std::move(deps));
  }

  ScratchDir dir{"mdi-win-"};
  WindowHarness h;
  FakeLocale locale;
  FakeSystemInfo system;
  std::optional<Separators> listedWith;
  std::vector<std::string> systemFolders;
  std::unique_ptr<frmMain> w;
};

// From start-up, Set Target, Add Image File(s), an option and Run through
// their buttons and menus: the window reaches the run and shows what it
// says. What the run writes, straight or mutated, and what it asks, is the
// engine tests' part. The ticked option reaches the run (its record says
// so), and Exit answered No in the middle of the run leaves it running to
// its end.
TEST_F(Window, RunThroughTheButtonsAndMenus) {
  Controls& ui = w->controls();
  EXPECT_EQ(w->windowTitle().toStdString(), "Vantor - Multi Drive Imaging With sector Mutate");
  EXPECT_EQ((std::vector{ui.text(Ctl::Label2), ui.statusText(1), ui.statusText(2)}),
            (std::vector<std::string>{"No target selected", "Ready", "V 1.0.0"}));
  // Run is disabled; the notice, the bar and Abort Shutdown are not shown.
  EXPECT_EQ(
      std::tuple(w->findChild<QPushButton*>("Command2")->isEnabled(), w->findChild<QLabel*>("AlertBox1")->isVisible(),
                 w->findChild<QProgressBar*>("ProgBarXP1")->isVisible(),
                 w->findChild<QPushButton*>("Command6")->isVisible()),
      std::tuple(false, false, false, false));
  EXPECT_EQ(std::pair(w->form().iGrid1.rowCount(), w->form().iGrid2.columnCount()), std::pair(1, 10));
  ASSERT_TRUE(listedWith.has_value());
  EXPECT_EQ(std::tuple(listedWith->group, listedWith->decimal), std::tuple("'", ";"));
  EXPECT_EQ(systemFolders, (std::vector<std::string>{"/", "/srv/imager/bin"}));

  h.pickers.folders = {(dir.path / "out").string()};
  w->findChild<QPushButton*>("Command1")->click();
  EXPECT_EQ(ui.text(Ctl::Label2), (dir.path / "out").string());
  std::ofstream(dir / "a.img", std::ios::binary) << std::string(300000, 'a');
  std::ofstream(dir / "b.img", std::ios::binary) << std::string(520 * 700, 'b');
  h.pickers.files.push_back({dir / "a.img", dir / "b.img"});
  w->findChild<QPushButton*>("Command4")->click();  // listed below the drive, then moved into the job list in turn
  EXPECT_EQ(h.pickers.fileStartFolders, std::vector<std::string>{"/srv/lab/operator"});
  for (int job = 1; job <= 2; ++job) {
    w->form().iGrid1.setCurrentRow(2);
    w->jobEditor().AddDriveToJobList();
  }
  ASSERT_EQ(w->form().iGrid2.rowCount(), 2);
  EXPECT_EQ(ui.text(Ctl::Label3), "Right click on drive to change target folder.");
  w->findChild<QAction*>("mnuGoPast")->trigger();
  h.msg.answer("Exit?", MsgAnswer::No);
  bool wasRunning = false;
  QTimer::singleShot(0, [&] {
    wasRunning = w->runController().running();
    w->mnuExitClick();
  });
  ASSERT_TRUE(w->findChild<QPushButton*>("Command2")->isEnabled());
  w->findChild<QPushButton*>("Command2")->click();
  EXPECT_EQ(std::tuple(wasRunning, h.msg.count("Exit?"), h.quits), std::tuple(true, 1, 0));
  EXPECT_NE(test::fileText(dir / "out/001.bin.log").find("\ngo_past_read_errors: yes\n"), std::string::npos);
  EXPECT_EQ(std::tuple(w->form().iGrid2.value(2, JobCol::Status), ui.statusText(1)),
            std::tuple("Done.", "Process Complete"));
  // The byte counter on screen is the run's last one, not one held back:
  // the larger source's three blocks, the last of them partial, all counted.
  EXPECT_EQ(std::pair(w->findChild<QLabel*>("Label5")->text().toStdString(), ui.text(Ctl::Label5)),
            std::pair(std::string("393'216"), std::string("393'216")));
  EXPECT_EQ(std::pair(w->findChild<QPushButton*>("Command2")->isEnabled(),
                      w->findChild<QPushButton*>("XPButton1")->isEnabled()),
            std::pair(true, false));
}

// The byte counter and the bar, which the copy loops set every cycle, are
// painted at most once a frame, yet always read back as last set; whatever
// else changes is shown together with the latest counter and bar.
TEST_F(Window, CounterAndBarArePaintedAtMostOnceAFrameAndNeverLeftBehind) {
  Controls& ui = w->controls();
  auto shown = [&] {
    return std::pair(w->findChild<QLabel*>("Label5")->text().toStdString(),
                     std::to_string(w->findChild<QProgressBar*>("ProgBarXP1")->value()));
  };
  ui.setProgressMaximum(20000);
  QElapsedTimer t;
  t.start();
  int paints = 0;
  auto last = shown();
  for (int i = 1; i <= 20000; ++i) {  // as fast as the loops would, each followed by an event pump
    ui.setText(Ctl::Label5, std::to_string(i));
    ui.setProgressValue(i);
    QCoreApplication::processEvents();
    if (shown() != last) ++paints, last = shown();
  }
  const qint64 ms = t.elapsed();
  EXPECT_EQ(std::pair(ui.text(Ctl::Label5), ui.progressValue()), std::pair(std::string("20000"), 20000));
  EXPECT_LE(paints, ms / QtControls::kFrameMs + 2) << ms << " ms";
  EXPECT_TRUE(within([&] { return shown() == std::pair(std::string("20000"), std::string("20000")); }));
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
    EXPECT_EQ(shown(), std::pair(std::to_string(value), std::to_string(value))) << what;
  }
}

// The window works through the services it is handed and makes none of its
// own: each one is required, and the ones handed in are the ones it asks.
#define MDI_DROP(member)                                 \
  {                                                      \
#member, [](FrmMainDeps & d) { d.member = nullptr; } \
  }
const std::pair<const char*, void (*)(FrmMainDeps&)> kServices[] = {
    MDI_DROP(msg),  MDI_DROP(pickers), MDI_DROP(launcher), MDI_DROP(drives),      MDI_DROP(io),
    MDI_DROP(fs),   MDI_DROP(files),   MDI_DROP(records),  MDI_DROP(system),      MDI_DROP(clock),
    MDI_DROP(pump), MDI_DROP(locale),  MDI_DROP(quit),     MDI_DROP(openDocument)};
#undef MDI_DROP

TEST(WindowWithoutAService, IsRefusedNamingIt) {
  WindowHarness h;
  const FrmMainDeps all = h.deps(std::filesystem::temp_directory_path().string());
  for (const auto& [name, drop] : kServices) {
    FrmMainDeps deps = all;
    drop(deps);
    EXPECT_THAT([&] { frmMain w(std::move(deps)); },
                ::testing::ThrowsMessage<std::invalid_argument>(std::string("frmMain: no ") + name + " handed in"));
  }
}

}  // namespace
}  // namespace mdi
