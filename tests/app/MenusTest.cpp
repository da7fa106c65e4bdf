// The menus: Help with and without the manual, the about box made afresh
// each time, Exit answered No in the middle of a run, and the Options menu
// whichever way its items are operated.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <optional>

#include "app/frmABout.h"
#include "jobs/JobList.h"
#include "platform/fakes/ForwardingFileSystem.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

namespace fs = std::filesystem;

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.path / "out");
    std::ofstream(manual) << "<html></html>";
  }
  ScratchDir dir{"mdi-menu-"};
  const std::string manual = dir / "Pellamy.html";
  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

// The real file system, except that the manual is whatever the test says:
// the window finds it only through the file system it is handed.
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

struct ManualCase {
  const char* name;
  bool fileOnDisk;               // a real manual beside the program
  std::optional<PathKind> seen;  // what the window's file system says of it; none: the real answer
  bool helpOffered;
};
class HelpMenu : public Menus, public ::testing::WithParamInterface<ManualCase> {};

TEST_P(HelpMenu, FollowsWhatTheFileSystemSaysOfTheManual) {
  const ManualCase& c = GetParam();
  if (!c.fileOnDisk) fs::remove(manual);
  ManualSeenAs files(c.seen.value_or(PathKind::Missing));
  FrmMainDeps deps = h.deps(dir.path.string());
  if (c.seen) deps.fs = &files;
  w = WindowHarness::start(std::move(deps));
  EXPECT_EQ(files.asked, c.seen ? std::vector<std::string>{manual} : std::vector<std::string>{});
  EXPECT_EQ(w->controls().isEnabled(Ctl::mnuHelp), c.helpOffered);
  EXPECT_EQ(w->controls().text(Ctl::mnuHelp), c.helpOffered ? "Help" : "No Help Available");
  // F1 opens the manual only where the menu offers it, and so does the item.
  w->activateWindow();
  ASSERT_TRUE(within([&] { return w->isActiveWindow(); }));
  QTest::keyClick(w.get(), Qt::Key_F1);
  EXPECT_EQ(h.opened.size(), c.helpOffered ? 1u : 0u);
  if (!c.helpOffered) return;
  w->findChild<QAction*>("mnuHelp")->trigger();
  EXPECT_EQ(h.opened, (std::vector<std::string>{manual, manual}));
}

INSTANTIATE_TEST_SUITE_P(Manual, HelpMenu,
                         ::testing::Values(ManualCase{"BesideTheProgram", true, std::nullopt, true},
                                           ManualCase{"SeenWhereNoFileIs", false, PathKind::Regular, true},
                                           ManualCase{"NotSeenWhereTheFileIs", true, PathKind::Missing, false},
                                           ManualCase{"AFolderByThatName", false, PathKind::Directory, false}),
                         ByName());

TEST_F(Menus, AboutIsFreshEachTime) {
  w = h.start(dir.path.string());
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
  w = h.start(dir.path.string());
  const std::string data(3 * 131072 + 100, 'z');
  std::ofstream(dir / "a.img", std::ios::binary) << data;
  FormState& f = w->form();
  f.run.TargetFolder = (dir.path / "out").string();
  const int r = f.iGrid2.addRow();
  f.iGrid2.setValue(r, JobCol::ID, "File");
  f.iGrid2.setValue(r, JobCol::Model, dir / "a.img");
  f.iGrid2.setValue(r, JobCol::SizeI, static_cast<std::int64_t>(data.size()));
  f.iGrid2.setValue(r, JobCol::FileName, dir / "out/001.bin");
  h.msg.answer("Exit?", MsgAnswer::No);
  bool wasRunning = false;
  QTimer::singleShot(0, [&] {
    wasRunning = w->runController().running();
    w->mnuExitClick();
  });
  w->runController().RunClicked();
  EXPECT_TRUE(wasRunning);
  EXPECT_EQ(h.msg.count("Exit?"), 1);
  EXPECT_EQ(h.quits, 0);
  EXPECT_EQ(f.iGrid2.value(1, JobCol::Status), "Done.");
  EXPECT_EQ(fs::file_size(dir / "out/001.bin"), data.size());
}

// The Options menu follows File; its items are the run-wide choices of what
// each image gets beside it, whichever way an item is operated.
TEST_F(Menus, OptionsMenuAfterFileSetsWhatEachImageGets) {
  w = h.start(dir.path.string());
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
                                "Re-read sources to verify", "Sector layout"}));
  auto* sha256 = w->findChild<QAction*>("mnuSha256");
  auto* md5 = w->findChild<QAction*>("mnuMd5");
  auto* verify = w->findChild<QAction*>("mnuVerify");
  ASSERT_TRUE(sha256 && md5 && verify);
  EXPECT_TRUE(sha256->isChecked());
  EXPECT_FALSE(md5->isChecked());
  const auto& o = w->form().Options;
  EXPECT_TRUE(o.hashes.contains(HashAlgo::Sha256));
  EXPECT_FALSE(o.hashes.contains(HashAlgo::Md5));

  md5->trigger();    // as a click or the keyboard does
  verify->toggle();  // as the accessibility toggle action does
  sha256->trigger();
  EXPECT_TRUE(o.hashes.contains(HashAlgo::Md5));
  EXPECT_FALSE(o.hashes.contains(HashAlgo::Sha256));
  EXPECT_TRUE(o.verifyImages);
  EXPECT_FALSE(o.rereadSources);
}

// One way of choosing an item of the Sector layout submenu.
struct Choose {
  const char* name;
  std::function<void(QMenu*, QAction*)> choose;
};
const Choose kChoose[] = {
    {"MouseClick",
     [](QMenu* menu, QAction* a) {
       menu->popup(QPoint(0, 0));
       ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
       QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
       pumpFor(200);
     }},
    {"ReturnKey",
     [](QMenu* menu, QAction* a) {
       menu->popup(QPoint(0, 0));
       ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
       menu->setActiveAction(a);
       QTest::keyClick(menu, Qt::Key_Return);
       pumpFor(200);
     }},
    // Menu items offer the press action (what a screen reader's "activate" is).
    {"AccessiblePress",
     [](QMenu* menu, QAction* a) {
       QAccessibleInterface* m = QAccessible::queryAccessibleInterface(menu);
       ASSERT_NE(m, nullptr);
       for (int i = 0; i < m->childCount(); ++i)
         if (m->child(i)->text(QAccessible::Name) == a->text()) {
           ASSERT_TRUE(accessibleAction(m->child(i), QAccessibleActionInterface::pressAction()));
           return;
         }
       FAIL() << "no accessible item " << a->text().toStdString();
     }},
};
class LayoutMenu : public Menus, public ::testing::WithParamInterface<Choose> {};

// The Sector layout submenu holds one choice at a time, starts at Data
// first, and offers 4 KiB groups while the sector boxes read 520 in and 512
// out: however the operator picks, the run gets what the menu shows.
TEST_P(LayoutMenu, OneLayoutAtATimeAndGroupsOnlyFor520To512) {
  w = h.start(dir.path.string());
  auto* menu = w->findChild<QMenu*>("mnuSectorLayout");
  auto* first = w->findChild<QAction*>("mnuDataFirst");
  auto* last = w->findChild<QAction*>("mnuDataLast");
  auto* groups = w->findChild<QAction*>("mnuGroups4K");
  ASSERT_TRUE(menu && first && last && groups);
  EXPECT_EQ(menu->title(), "Sector layout");
  EXPECT_EQ(groups->text(), QString::fromUtf8("4 KiB groups (8 \xC3\x97 520)"));
  auto& o = w->form().Options;
  EXPECT_TRUE(first->isChecked());
  EXPECT_EQ(o.layout, SectorLayout::DataFirst);
  EXPECT_FALSE(groups->isEnabled()) << "the boxes read 512 in";

  GetParam().choose(menu, last);
  EXPECT_EQ(o.layout, SectorLayout::DataLast);
  EXPECT_TRUE(last->isChecked());
  EXPECT_FALSE(first->isChecked());

  w->findChild<QCheckBox*>("Check2")->click();  // Use Sector Mutate: 520 in, 512 out
  ASSERT_EQ(w->findChild<QLineEdit*>("Text1")->text(), "520");
  EXPECT_TRUE(groups->isEnabled());
  GetParam().choose(menu, groups);
  EXPECT_EQ(o.layout, SectorLayout::Groups4K);
  EXPECT_FALSE(last->isChecked());

  // Other sizes: no longer offered, but the choice is not changed behind
  // the operator's back (a run refuses the jobs it does not fit).
  w->findChild<QLineEdit*>("Text1")->setText("528");
  EXPECT_FALSE(groups->isEnabled());
  EXPECT_TRUE(groups->isChecked());
  EXPECT_EQ(o.layout, SectorLayout::Groups4K);
  GetParam().choose(menu, first);
  EXPECT_EQ(o.layout, SectorLayout::DataFirst);
  EXPECT_FALSE(groups->isChecked());
}
INSTANTIATE_TEST_SUITE_P(Ways, LayoutMenu, ::testing::ValuesIn(kChoose), ByName());

}  // namespace
}  // namespace mdi
