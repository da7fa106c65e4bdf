// The File menu: help with and without the manual, the about box made
// afresh each time, and Exit answered No in the middle of a run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/frmABout.h"
#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("mdi-menu-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
    std::ofstream(dir / "Pellamy.html") << "<html></html>";
  }
  void TearDown() override {
    w.reset();
    fs::remove_all(dir);
  }
  void start() {
    w = std::make_unique<frmMain>(h.deps(dir.string()));
    w->startUp();
  }
  fs::path dir;
  WindowHarness h;
  FakeMessageBox& msg = h.msg;
  int& quits = h.quits;
  std::vector<std::string>& opened = h.opened;
  std::unique_ptr<frmMain> w;
};

TEST_F(Menus, HelpOpensTheManualBesideTheProgram) {
  start();
  EXPECT_EQ(w->controls().text(Ctl::mnuHelp), "Help");
  EXPECT_TRUE(w->controls().isEnabled(Ctl::mnuHelp));
  w->mnuHelpClick();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], (dir / "Pellamy.html").string());
}

TEST_F(Menus, AboutIsFreshEachTime) {
  start();
  std::vector<QString> versions;
  for (int i = 0; i < 2; ++i) {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<frmABout*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      versions.push_back(box->findChild<QLabel*>("Label2")->text());
      EXPECT_EQ(box->windowTitle(), "About");
      box->findChild<QPushButton*>("Command1")->click();
    });
    w->mnuAboutClick();
  }
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(versions[0], "Version : 1.0.0");
  EXPECT_EQ(w->findChildren<frmABout*>().size(), 0) << "OK unloads the box";
}

TEST(AboutLink, HoverTogglesBlueUnderlinedAndBlackPlain) {
  frmABout box(nullptr);
  auto* link = box.findChild<QLabel*>("lblLink");
  auto* frame = box.findChild<QGroupBox*>("Frame1");
  ASSERT_TRUE(link && frame);
  box.show();
  // A point inside the widget and outside any child: the frame's corner.
  auto move = [](QWidget* w) {
    const QPointF at(w->width() - 3, w->height() - 3);
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  for (int i = 0; i < 2; ++i) {
    move(link);
    EXPECT_TRUE(link->property("hot").toBool());
    EXPECT_NE(link->styleSheet().indexOf("rgb(0,0,255)"), -1);
    EXPECT_NE(link->styleSheet().indexOf("underline"), -1);
    move(frame);
    EXPECT_FALSE(link->property("hot").toBool());
    EXPECT_NE(link->styleSheet().indexOf("black"), -1);
  }
}

TEST_F(Menus, ExitAnsweredNoDuringARunLeavesItRunning) {
  start();
  std::vector<char> data(3 * 131072 + 100, 'z');
  std::ofstream(dir / "a.img", std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  FormState& f = w->form();
  f.run.TargetFolder = (dir / "out").string();
  const int r = f.iGrid2.addRow();
  f.iGrid2.setValue(r, JobCol::ID, "File");
  f.iGrid2.setValue(r, JobCol::Model, (dir / "a.img").string());
  f.iGrid2.setValue(r, JobCol::SizeI, static_cast<std::int64_t>(data.size()));
  f.iGrid2.setValue(r, JobCol::FileName, (dir / "out" / "001.bin").string());
  msg.answer("Exit?", MsgAnswer::No);
  bool wasRunning = false;
  QTimer::singleShot(0, [&] {
    wasRunning = w->runController().running();
    w->mnuExitClick();
  });
  w->runController().RunClicked();
  EXPECT_TRUE(wasRunning);
  EXPECT_EQ(msg.count("Exit?"), 1);
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(f.iGrid2.value(1, JobCol::Status), "Done.");
  EXPECT_EQ(fs::file_size(dir / "out" / "001.bin"), data.size());
}

}  // namespace
}  // namespace mdi

namespace mdi {
namespace {

// The Options menu follows File; its items are the run-wide choices of what
// each image gets beside it, whichever way an item is operated.
TEST_F(Menus, OptionsMenuAfterFileSetsWhatEachImageGets) {
  start();
  const auto menus = w->menuBar()->actions();
  ASSERT_GE(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "File");
  EXPECT_EQ(menus[1]->text(), "Options");
  const auto* options = w->findChild<QMenu*>("mnuOptions");
  ASSERT_NE(options, nullptr);
  QStringList texts;
  for (QAction* a : options->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Hash: SHA-256", "Also MD5", "Also SHA-1", "Verify images after imaging",
                                "Re-read sources to verify"}));
  auto* sha256 = w->findChild<QAction*>("mnuSha256");
  auto* md5 = w->findChild<QAction*>("mnuMd5");
  auto* verify = w->findChild<QAction*>("mnuVerify");
  ASSERT_TRUE(sha256 && md5 && verify);
  EXPECT_TRUE(sha256->isChecked());
  EXPECT_FALSE(md5->isChecked());
  const auto& o = w->form().Options;
  EXPECT_TRUE(o.hashes.contains(HashAlgo::Sha256));
  EXPECT_FALSE(o.hashes.contains(HashAlgo::Md5));

  md5->trigger();     // as a click or the keyboard does
  verify->toggle();   // as the accessibility toggle action does
  sha256->trigger();
  EXPECT_TRUE(o.hashes.contains(HashAlgo::Md5));
  EXPECT_FALSE(o.hashes.contains(HashAlgo::Sha256));
  EXPECT_TRUE(o.verifyImages);
  EXPECT_FALSE(o.rereadSources);
}

}  // namespace
}  // namespace mdi
