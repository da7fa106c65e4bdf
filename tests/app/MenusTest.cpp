// The File menu: help with and without the manual, the about box made
// afresh each time, and Exit answered No in the middle of a run.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>

#include "app/frmABout.h"
#include "app/frmMain.h"
#include "jobs/JobList.h"
#include "platform/linux/PosixFileSystem.h"
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

// The real file system, except that the manual is whatever the test says:
// the window finds it only through the file system it is handed.
class ManualSeenAs final : public FileSystem {
 public:
  explicit ManualSeenAs(PathKind manual) : m_manual(manual) {}
  PathKind kind(const std::string& p) const override {
    if (fs::path(p).filename() != "Pellamy.html") return m_real.kind(p);
    asked.push_back(p);
    return m_manual;
  }
  std::optional<std::uint64_t> fileSize(const std::string& p) const override { return m_real.fileSize(p); }
  std::optional<std::uint64_t> freeBytes(const std::string& p) const override { return m_real.freeBytes(p); }
  int createFolder(const std::string& p) override { return m_real.createFolder(p); }
  bool isWritableFolder(const std::string& p) const override { return m_real.isWritableFolder(p); }
  std::string canonical(const std::string& p) const override { return m_real.canonical(p); }
  std::optional<std::uint64_t> deviceOf(const std::string& p) const override { return m_real.deviceOf(p); }
  std::optional<std::uint64_t> blockDeviceNumber(const std::string& p) const override {
    return m_real.blockDeviceNumber(p);
  }
  std::optional<FileId> fileId(const std::string& p) const override { return m_real.fileId(p); }
  std::optional<BlockDeviceInfo> blockDevice(const std::string& p) const override { return m_real.blockDevice(p); }
  mutable std::vector<std::string> asked;

 private:
  PosixFileSystem m_real;
  PathKind m_manual;
};

struct ManualCase {
  const char* name;
  bool fileOnDisk;  // a real manual beside the program
  PathKind seen;    // what the window's file system says of it
  bool helpOffered;
};
void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.name; }
class HelpMenu : public Menus, public ::testing::WithParamInterface<ManualCase> {};

TEST_P(HelpMenu, FollowsWhatTheFileSystemSaysOfTheManual) {
  const ManualCase& c = GetParam();
  if (!c.fileOnDisk) fs::remove(dir / "Pellamy.html");
  ManualSeenAs files(c.seen);
  FrmMainDeps deps = h.deps(dir.string());
  deps.fs = &files;
  w = std::make_unique<frmMain>(std::move(deps));
  w->startUp();
  EXPECT_EQ(files.asked, std::vector<std::string>{(dir / "Pellamy.html").string()});
  EXPECT_EQ(w->controls().isEnabled(Ctl::mnuHelp), c.helpOffered);
  EXPECT_EQ(w->controls().text(Ctl::mnuHelp), c.helpOffered ? "Help" : "No Help Available");
}

INSTANTIATE_TEST_SUITE_P(
    Manual, HelpMenu,
    ::testing::Values(ManualCase{"SeenWhereNoFileIs", false, PathKind::Regular, true},
                      ManualCase{"NotSeenWhereTheFileIs", true, PathKind::Missing, false},
                      ManualCase{"AFolderByThatName", false, PathKind::Directory, false}),
    [](const auto& info) { return std::string(info.param.name); });

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

  md5->trigger();     // as a click or the keyboard does
  verify->toggle();   // as the accessibility toggle action does
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
void PrintTo(const Choose& c, std::ostream* os) { *os << c.name; }

void settle() {
  QElapsedTimer t;  // accessibility presses and menu closing are animated
  t.start();
  while (t.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

const Choose kChoose[] = {
    {"MouseClick",
     [](QMenu* menu, QAction* a) {
       menu->popup(QPoint(0, 0));
       ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
       QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
       settle();
     }},
    {"ReturnKey",
     [](QMenu* menu, QAction* a) {
       menu->popup(QPoint(0, 0));
       ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
       menu->setActiveAction(a);
       QTest::keyClick(menu, Qt::Key_Return);
       settle();
     }},
    // Menu items offer the press action (what a screen reader's "activate" is).
    {"AccessiblePress",
     [](QMenu* menu, QAction* a) {
       QAccessibleInterface* m = QAccessible::queryAccessibleInterface(menu);
       ASSERT_NE(m, nullptr);
       for (int i = 0; i < m->childCount(); ++i) {
         QAccessibleInterface* item = m->child(i);
         if (item->text(QAccessible::Name) != a->text()) continue;
         ASSERT_NE(item->actionInterface(), nullptr);
         item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
         settle();
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
  start();
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
INSTANTIATE_TEST_SUITE_P(Ways, LayoutMenu, ::testing::ValuesIn(kChoose),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi
