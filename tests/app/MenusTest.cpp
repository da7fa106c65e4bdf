// The menus: Help with and without the manual (and where the manual is
// looked for), the about box made afresh each time, and the Options menu,
// whose items act on being toggled, whichever way they are operated. Exit in the middle of a run is the
// run's window test (Window.RunThroughTheButtonsAndMenus).
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QMouseEvent>
#include <QTimer>
#include <fstream>

#include "app/ManualFolder.h"
#include "app/frmABout.h"
#include "tests/app/WindowHarness.h"
#include "tests/fakes/ForwardingFileSystem.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

class Menus : public ::testing::Test {
 protected:
  ScratchDir dir{"mdi-menu-"};
  const std::string manual = dir / "Pellamy.html";
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

// The real file system, except that the manual is whatever the test says:
// no manual is on disk, so the window finds one only through the file
// system it is handed.
class ManualSeenAs final : public ForwardingFileSystem {
 public:
  explicit ManualSeenAs(PathKind manual) : ForwardingFileSystem(m_posix), m_manual(manual) {}
  PathKind kind(const std::string& p) const override {
    if (fs::path(p).filename() != "Pellamy.html") return m_real.kind(p);
    asked.push_back(p);
    return m_manual;
  }
  mutable std::vector<std::string> asked;

 private:
  PosixFileSystem m_posix;
  PathKind m_manual;
};

// What the window's file system says of the manual decides whether Help is
// offered; F1 opens the manual only where the menu offers it, and so does
// the item.
TEST_F(Menus, HelpFollowsWhatTheFileSystemSaysOfTheManual) {
  const struct {
    const char* name;
    PathKind seen;
    bool helpOffered;
  } cases[] = {{"AFile", PathKind::Regular, true},
               {"Missing", PathKind::Missing, false},
               {"AFolderByThatName", PathKind::Directory, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManualSeenAs files(c.seen);
    FrmMainDeps deps = h.deps(dir.path.string());
    deps.fs = &files;
    w = WindowHarness::start(std::move(deps));
    h.opened.clear();
    EXPECT_EQ(files.asked, std::vector<std::string>{manual});
    EXPECT_EQ(std::pair(w->controls().isEnabled(Ctl::mnuHelp), w->controls().text(Ctl::mnuHelp)),
              std::pair(c.helpOffered, std::string(c.helpOffered ? "Help" : "No Help Available")));
    ASSERT_TRUE(activated(*w));
    QTest::keyClick(w.get(), Qt::Key_F1);
    if (c.helpOffered) w->findChild<QAction*>("mnuHelp")->trigger();
    EXPECT_EQ(h.opened, (c.helpOffered ? std::vector<std::string>{manual, manual} : std::vector<std::string>{}));
    w.reset();  // before the file system it was handed
  }
}

// The about box is made afresh each time and unloaded by OK; its link
// turns blue and underlined under the pointer and back to black and plain.
TEST_F(Menus, AboutIsFreshEachTime) {
  w = h.start(dir.path.string());
  // A point inside the widget and outside any child: the frame's corner.
  auto move = [](QWidget* w) {
    const QPointF at(w->width() - 3, w->height() - 3);
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  auto looks = [](QLabel* link) {
    const QString css = link->styleSheet();
    return std::tuple(link->property("hot").toBool(), css.contains("rgb(0,0,255)"), css.contains("underline"),
                      css.contains("black"));
  };
  int shown = 0;
  for (int i = 0; i < 2; ++i) {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<frmABout*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      ++shown;
      EXPECT_EQ(std::pair(box->windowTitle(), box->findChild<QLabel*>("Label2")->text()),
                std::pair(QString("About"), QString("Version : 1.0.0")));
      auto* link = box->findChild<QLabel*>("lblLink");
      move(link);
      EXPECT_EQ(looks(link), std::tuple(true, true, true, false)) << link->styleSheet().toStdString();
      move(box->findChild<QGroupBox*>("Frame1"));
      EXPECT_EQ(looks(link), std::tuple(false, false, false, true)) << link->styleSheet().toStdString();
      box->findChild<QPushButton*>("Command1")->click();
    });
    w->mnuAboutClick();
  }
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(w->findChildren<frmABout*>().size(), 0) << "OK unloads the box";
}

// Chooses `a` in `menu` as the mouse does: pops the menu up and clicks the
// item (the keyboard and the accessibility press action trigger it alike).
void choose(QMenu* menu, QAction* a) {
  menu->popup(QPoint(0, 0));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
  QTest::qWait(200);
}

// The Options menu follows File; its items are the run-wide choices of what
// each image gets beside it, whichever way an item is operated. Its Sector
// layout submenu holds one choice at a time, starts at Data first, and
// offers 4 KiB groups while the sector boxes read 520 in and 512 out: the
// run gets what the menu shows.
TEST_F(Menus, OptionsMenuAfterFileSetsWhatEachImageGetsAndTheLayoutOnlyFor520To512) {
  w = h.start(dir.path.string());
  QStringList titles, texts;
  for (QAction* a : w->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles.mid(0, 2), (QStringList{"File", "Options"}));
  for (QAction* a : w->findChild<QMenu*>("mnuOptions")->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Hash: SHA-256", "Also MD5", "Also SHA-1", "Verify images after imaging",
                                "Re-read sources to verify", "Sector layout", "Go past read errors", "Retry passes"}));
  auto* sha256 = w->findChild<QAction*>("mnuSha256");
  auto* md5 = w->findChild<QAction*>("mnuMd5");
  auto* verify = w->findChild<QAction*>("mnuVerify");
  auto* r0 = w->findChild<QAction*>("mnuRetry0");
  auto* r3 = w->findChild<QAction*>("mnuRetry3");
  auto* menu = w->findChild<QMenu*>("mnuSectorLayout");
  auto* first = w->findChild<QAction*>("mnuDataFirst");
  auto* last = w->findChild<QAction*>("mnuDataLast");
  auto* groups = w->findChild<QAction*>("mnuGroups4K");
  ASSERT_TRUE(sha256 && md5 && verify && r0 && r3 && menu && first && last && groups);
  const auto& o = w->form().Options;
  EXPECT_EQ(std::tuple(sha256->isChecked(), md5->isChecked(), o.hashes.contains(HashAlgo::Sha256),
                       o.hashes.contains(HashAlgo::Md5)),
            std::tuple(true, false, true, false));
  md5->trigger();    // as a click or the keyboard does
  verify->toggle();  // as the accessibility toggle action does
  sha256->trigger();
  EXPECT_EQ(std::tuple(o.hashes.contains(HashAlgo::Md5), o.hashes.contains(HashAlgo::Sha256), o.verifyImages,
                       o.rereadSources),
            std::tuple(true, false, true, false));
  // "Go past read errors" starts off; "Retry passes" holds one of 0, 1
  // and 3, starting at 0 (a submenu as Sector layout's, below).
  EXPECT_EQ(
      std::tuple(w->findChild<QAction*>("mnuGoPast")->isChecked(), o.goPastErrors, o.retryPasses, r0->isChecked()),
      std::tuple(false, false, 0, true));
  r3->toggle();  // a submenu's choice, too, acts on being toggled
  EXPECT_EQ(std::tuple(o.retryPasses, r0->isChecked()), std::tuple(3, false));

  auto* in = w->findChild<QLineEdit*>("Text1");
  EXPECT_EQ(groups->text(), QString::fromUtf8("4 KiB groups (8 \xC3\x97 520)"));
  EXPECT_EQ(std::tuple(first->isChecked(), o.layout), std::tuple(true, SectorLayout::DataFirst));
  EXPECT_FALSE(groups->isEnabled()) << "the boxes read 512 in";

  choose(menu, last);
  EXPECT_EQ(std::tuple(o.layout, last->isChecked(), first->isChecked()),
            std::tuple(SectorLayout::DataLast, true, false));

  in->setText("520");  // as Use Sector Mutate sets it, with 512 out
  EXPECT_TRUE(groups->isEnabled());
  choose(menu, groups);
  EXPECT_EQ(std::tuple(o.layout, last->isChecked()), std::tuple(SectorLayout::Groups4K, false));

  // Other sizes: no longer offered, but the choice is not changed behind
  // the operator's back (a run refuses the jobs it does not fit).
  in->setText("528");
  EXPECT_EQ(std::tuple(groups->isEnabled(), groups->isChecked(), o.layout),
            std::tuple(false, true, SectorLayout::Groups4K));
  choose(menu, first);
  EXPECT_EQ(std::tuple(o.layout, groups->isChecked()), std::tuple(SectorLayout::DataFirst, false));
}

// Where the program finds its manual, on a real folder tree laid out as the
// build tree (manual beside the program) or as the install rules lay out a
// prefix (the program in bin/, the manual in the data folder). A build
// without an installed folder looks only beside the program.
TEST(ManualFolder, BesideTheProgramFirstThenTheInstalledDataFolder) {
  const struct {
    const char* name;
    bool besideProgram;  // a manual in the program's folder
    bool installed;      // a manual where the install rule puts it
    const char* installedFolder;
    bool installedChosen;
  } cases[] = {{"BuildTree", true, false, MDI_MANUAL_FROM_PROGRAM, false},
               {"Installed", false, true, MDI_MANUAL_FROM_PROGRAM, true},
               {"BothPrefersBesideTheProgram", true, true, MDI_MANUAL_FROM_PROGRAM, false},
               {"NoneGivesTheProgramFolder", false, false, MDI_MANUAL_FROM_PROGRAM, false},
               {"NoInstalledFolderLooksOnlyBeside", false, true, "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDir prefix("mdi-manual-");
    const fs::path bin = prefix.path / MDI_TEST_BIN_IN_PREFIX;
    const fs::path installed = prefix.path / MDI_TEST_MANUAL_IN_PREFIX;
    fs::create_directories(bin);
    for (const auto& [wanted, folder] : {std::pair{c.besideProgram, bin}, {c.installed, installed}}) {
      if (!wanted) continue;
      fs::create_directories(folder);
      std::ofstream(folder / kManualFileName) << "<html></html>";
    }
    std::vector<std::string> asked;
    const std::string found = manualFolder(bin.string(), c.installedFolder, [&](const std::string& p) {
      asked.push_back(p);
      return fs::is_regular_file(p);
    });
    if (c.installedChosen) EXPECT_EQ(fs::path(found), installed.lexically_normal());
    else EXPECT_EQ(found, bin.string());
    EXPECT_EQ(fs::is_regular_file(fs::path(found) / kManualFileName), c.besideProgram || c.installedChosen);
    if (!*c.installedFolder) { EXPECT_EQ(asked, std::vector<std::string>{(bin / kManualFileName).string()}); }
  }
}

}  // namespace
}  // namespace mdi
