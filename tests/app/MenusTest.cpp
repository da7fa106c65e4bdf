// The menus: Help with and without the manual, the about box made afresh
// each time, Exit answered No in the middle of a run, and the Options menu
// whichever way its items are operated.
#include <gtest/gtest.h>

#include <QTest>

#include <QGroupBox>
#include <QMouseEvent>
#include <QTimer>
#include <fstream>
#include <optional>

#include "app/frmABout.h"
#include "tests/app/WindowHarness.h"
#include "tests/fakes/ForwardingFileSystem.h"

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

  // One job from a 3-block image file into out/001.bin; its bytes.
  std::string addImageJob() {
    const std::string data(3 * 131072 + 100, 'z');
    std::ofstream(dir / "a.img", std::ios::binary) << data;
    FormState& f = w->form();
    f.run.TargetFolder = (dir.path / "out").string();
    const int r = f.iGrid2.addRow();
    f.iGrid2.setValue(r, JobCol::ID, "File");
    f.iGrid2.setValue(r, JobCol::Model, dir / "a.img");
    f.iGrid2.setValue(r, JobCol::SizeI, static_cast<std::int64_t>(data.size()));
    f.iGrid2.setValue(r, JobCol::FileName, dir / "out/001.bin");
    return data;
  }
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
const ManualCase kManuals[] = {{"BesideTheProgram", true, std::nullopt, true},
                               {"SeenWhereNoFileIs", false, PathKind::Regular, true},
                               {"NotSeenWhereTheFileIs", true, PathKind::Missing, false},
                               {"AFolderByThatName", false, PathKind::Directory, false}};
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
  ASSERT_TRUE(activated(*w));
  QTest::keyClick(w.get(), Qt::Key_F1);
  EXPECT_EQ(h.opened.size(), c.helpOffered ? 1u : 0u);
  if (!c.helpOffered) return;
  child<QAction>(*w, "mnuHelp")->trigger();
  EXPECT_EQ(h.opened, (std::vector<std::string>{manual, manual}));
}

INSTANTIATE_TEST_SUITE_P(Manual, HelpMenu, ::testing::ValuesIn(kManuals), ByName());

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
  auto looks = [&] {
    const QString css = link->styleSheet();
    return std::tuple(link->property("hot").toBool(), css.contains("rgb(0,0,255)"), css.contains("underline"),
                      css.contains("black"));
  };
  for (int i = 0; i < 2; ++i) {
    move(link);
    EXPECT_EQ(looks(), std::tuple(true, true, true, false)) << link->styleSheet().toStdString();
    move(frame);
    EXPECT_EQ(looks(), std::tuple(false, false, false, true)) << link->styleSheet().toStdString();
  }
}

TEST_F(Menus, ExitAnsweredNoDuringARunLeavesItRunning) {
  w = h.start(dir.path.string());
  const std::string data = addImageJob();
  FormState& f = w->form();
  h.msg.answer("Exit?", MsgAnswer::No);
  bool wasRunning = false;
  QTimer::singleShot(0, [&] {
    wasRunning = w->runController().running();
    w->mnuExitClick();
  });
  w->runController().RunClicked();
  EXPECT_EQ(std::tuple(wasRunning, h.msg.count("Exit?"), h.quits), std::tuple(true, 1, 0));
  EXPECT_EQ(f.iGrid2.value(1, JobCol::Status), "Done.");
  EXPECT_EQ(fs::file_size(dir / "out/001.bin"), data.size());
}

// The Options menu follows File; its items are the run-wide choices of what
// each image gets beside it, whichever way an item is operated.
TEST_F(Menus, OptionsMenuAfterFileSetsWhatEachImageGets) {
  w = h.start(dir.path.string());
  QStringList titles, texts;
  for (QAction* a : w->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles.mid(0, 2), (QStringList{"File", "Options"}));
  for (QAction* a : child<QMenu>(*w, "mnuOptions")->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Hash: SHA-256", "Also MD5", "Also SHA-1", "Verify images after imaging",
                                "Re-read sources to verify", "Sector layout", "Go past read errors", "Retry passes"}));
  auto* sha256 = child<QAction>(*w, "mnuSha256");
  auto* md5 = child<QAction>(*w, "mnuMd5");
  auto* verify = child<QAction>(*w, "mnuVerify");
  ASSERT_TRUE(sha256 && md5 && verify);
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
}

// One way of choosing an item of the Sector layout submenu.
struct Choose {
  const char* name;
  std::function<void(QMenu*, QAction*)> choose;
};
// Pops `menu` up and lets `pick` choose in it.
void popUp(QMenu* menu, const std::function<void()>& pick) {
  menu->popup(QPoint(0, 0));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  pick();
  pumpFor(200);
}
const Choose kChoose[] = {
    {"MouseClick",
     [](QMenu* m, QAction* a) {
       popUp(m, [&] { QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(a).center()); });
     }},
    {"ReturnKey",
     [](QMenu* m, QAction* a) {
       popUp(m, [&] {
         m->setActiveAction(a);
         QTest::keyClick(m, Qt::Key_Return);
       });
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

// The Sector layout submenu holds one choice at a time, starts at Data
// first, and offers 4 KiB groups while the sector boxes read 520 in and 512
// out: however the operator picks, the run gets what the menu shows.
TEST_F(Menus, LayoutMenuHoldsOneChoiceAndOffersGroupsOnlyFor520To512) {
  w = h.start(dir.path.string());
  auto* menu = child<QMenu>(*w, "mnuSectorLayout");
  auto* first = child<QAction>(*w, "mnuDataFirst");
  auto* last = child<QAction>(*w, "mnuDataLast");
  auto* groups = child<QAction>(*w, "mnuGroups4K");
  auto* mutate = child<QCheckBox>(*w, "Check2");
  auto* in = child<QLineEdit>(*w, "Text1");
  ASSERT_TRUE(menu && first && last && groups);
  EXPECT_EQ(menu->title(), "Sector layout");
  EXPECT_EQ(groups->text(), QString::fromUtf8("4 KiB groups (8 \xC3\x97 520)"));
  auto& o = w->form().Options;
  for (const Choose& way : kChoose) {
    SCOPED_TRACE(way.name);
    EXPECT_EQ(std::tuple(first->isChecked(), o.layout), std::tuple(true, SectorLayout::DataFirst));
    EXPECT_FALSE(groups->isEnabled()) << "the boxes read 512 in";

    way.choose(menu, last);
    EXPECT_EQ(std::tuple(o.layout, last->isChecked(), first->isChecked()),
              std::tuple(SectorLayout::DataLast, true, false));

    mutate->click();  // Use Sector Mutate: 520 in, 512 out
    ASSERT_EQ(in->text(), "520");
    EXPECT_TRUE(groups->isEnabled());
    way.choose(menu, groups);
    EXPECT_EQ(std::tuple(o.layout, last->isChecked()), std::tuple(SectorLayout::Groups4K, false));

    // Other sizes: no longer offered, but the choice is not changed behind
    // the operator's back (a run refuses the jobs it does not fit).
    in->setText("528");
    EXPECT_EQ(std::tuple(groups->isEnabled(), groups->isChecked(), o.layout),
              std::tuple(false, true, SectorLayout::Groups4K));
    way.choose(menu, first);
    EXPECT_EQ(std::tuple(o.layout, groups->isChecked()), std::tuple(SectorLayout::DataFirst, false));
    mutate->click();  // the boxes back to 512
  }
}

// "Go past read errors" starts off; "Retry passes" holds one of 0, 1 and
// 3, starting at 0: however the operator picks, the run gets what the menu
// shows.
TEST_F(Menus, GoPastReadErrorsStartsOffAndRetryPassesHoldsOneChoice) {
  w = h.start(dir.path.string());
  auto* goPast = child<QAction>(*w, "mnuGoPast");
  auto* menu = child<QMenu>(*w, "mnuRetryPasses");
  auto* r0 = child<QAction>(*w, "mnuRetry0");
  auto* r1 = child<QAction>(*w, "mnuRetry1");
  auto* r3 = child<QAction>(*w, "mnuRetry3");
  ASSERT_TRUE(goPast && menu && r0 && r1 && r3);
  auto& o = w->form().Options;
  EXPECT_EQ(std::tuple(goPast->isChecked(), o.goPastErrors, o.retryPasses, r0->isChecked()),
            std::tuple(false, false, 0, true));
  goPast->trigger();
  EXPECT_TRUE(o.goPastErrors);
  goPast->toggle();
  EXPECT_FALSE(o.goPastErrors);
  for (const Choose& way : kChoose) {
    SCOPED_TRACE(way.name);
    way.choose(menu, r3);
    EXPECT_EQ(std::tuple(o.retryPasses, r3->isChecked(), r0->isChecked()), std::tuple(3, true, false));
    way.choose(menu, r1);
    EXPECT_EQ(std::tuple(o.retryPasses, r1->isChecked(), r3->isChecked()), std::tuple(1, true, false));
    way.choose(menu, r0);
    EXPECT_EQ(o.retryPasses, 0);
  }
}

// The ticked option reaches the run the window starts: the job goes past
// read errors (its record says so, and it leaves a map of what it read).
TEST_F(Menus, GoPastReadErrorsTickedInTheMenuReachesTheRun) {
  w = h.start(dir.path.string());
  child<QAction>(*w, "mnuGoPast")->trigger();
  child<QAction>(*w, "mnuRetry1")->trigger();
  addImageJob();
  FormState& f = w->form();
  w->runController().RunClicked();
  EXPECT_EQ(f.iGrid2.value(1, JobCol::Status), "Done.");
  std::ifstream log(dir / "out/001.bin.log"), map(dir / "out/001.bin.map");
  const std::string logText((std::istreambuf_iterator<char>(log)), {});
  const std::string mapText((std::istreambuf_iterator<char>(map)), {});
  EXPECT_NE(logText.find("\ngo_past_read_errors: yes\n"), std::string::npos) << logText;
  EXPECT_NE(mapText.find("\n0x00000000  0x00060064  +\n"), std::string::npos) << mapText;
}

}  // namespace
}  // namespace mdi
