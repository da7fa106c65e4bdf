// The tooltip wrapper over plain widgets, and the tips the main window sets
// up at start-up. Runs under the offscreen platform.
#include <gtest/gtest.h>

#include <QPalette>
#include <QTextDocument>
#include <vector>

#include "app/clsToolTip.h"
#include "tests/app/WindowHarness.h"

namespace mdi {
namespace {

// Counts the tooltip requests that reach the widget itself.
class CountingWidget final : public QWidget {
 public:
  using QWidget::QWidget;
  int tipEvents = 0;

 protected:
  bool event(QEvent* e) override {
    tipEvents += e->type() == QEvent::ToolTip;
    return QWidget::event(e);
  }
};

// Sends the request a hovering pointer would cause; true when it was taken.
bool askForTip(QWidget* w) {
  QHelpEvent e(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
  return QApplication::sendEvent(w, &e);
}

// Two controls on an owner, and a tool created on it (`fresh` is not).
class ToolTip : public ::testing::Test {
 protected:
  void SetUp() override {
    owner.resize(200, 100);
    a->setGeometry(0, 0, 50, 50);
    b->setGeometry(60, 0, 50, 50);
    owner.show();
    ASSERT_TRUE(t.Create(&owner));
  }
  void TearDown() override {
    QToolTip::hideText();
    QToolTip::setPalette(savedPalette);
  }
  QWidget owner;
  CountingWidget* a = new CountingWidget(&owner);
  CountingWidget* b = new CountingWidget(&owner);
  QPalette savedPalette = QToolTip::palette();
  clsToolTip t, fresh;
};

// Every property of a tool not yet created, as one value: colours, the four
// delays, the four margins, the tip width, tools, window and a tool text.
std::vector<long long> readAll(clsToolTip& t, QWidget* a) {
  std::vector<long long> v = {t.BackColor(), t.ForeColor(),     t.MaxTipWidth(),     t.ToolCount(),
                              t.hWnd(),      t.ToolTipHandle(), t.ToolText(a).size()};
  for (int i = 0; i < 4; ++i) v.insert(v.end(), {t.DelayTime(i), t.Margin(i)});
  return v;
}

TEST_F(ToolTip, BeforeCreateEverythingReadsZeroAndWritesLeaveNothing) {
  EXPECT_FALSE(fresh.AddTool(a, "x"));
  EXPECT_FALSE(fresh.RemoveTool(a));
  fresh.BackColor(0x123456u);
  fresh.ForeColor(0x654321u);
  fresh.DelayTime(2, 20000);
  fresh.Margin(3, 5);
  fresh.MaxTipWidth(240);
  fresh.ToolText(a, "x");
  EXPECT_EQ(readAll(fresh, a), std::vector<long long>(15, 0));
  // Created, it has one window, kept by a second Create; another object has its own.
  ASSERT_TRUE(fresh.Create(&owner));
  const auto h = fresh.hWnd();
  EXPECT_NE(h, 0);
  EXPECT_EQ(fresh.ToolTipHandle(), h);
  EXPECT_TRUE(fresh.Create(&owner));
  EXPECT_EQ(fresh.hWnd(), h);
  EXPECT_NE(t.hWnd(), h);
  // The writes before Create left nothing behind, and no tip either.
  EXPECT_EQ(std::tuple(fresh.ToolCount(), fresh.MaxTipWidth(), fresh.Margin(3)), std::tuple(0, -1, 0));
  EXPECT_NE(fresh.DelayTime(2), 20000);
  askForTip(a);
  EXPECT_EQ(a->tipEvents, 1);
}

// Each step's answer and the tool count after it.
using Steps = std::vector<std::pair<bool, int>>;

TEST_F(ToolTip, ToolsAreAddedOnceRemovedAndForgottenWhenDestroyed) {
  EXPECT_EQ(t.ToolCount(), 0);
  // Braced lists run left to right: each step, then the count it left.
  const Steps adds = {{t.AddTool(a, "first"), t.ToolCount()},
                      {t.AddTool(a, "second"), t.ToolCount()},
                      {t.RemoveTool(b), t.ToolCount()},
                      {t.AddTool(b), t.ToolCount()},
                      {t.AddTool(nullptr), t.ToolCount()}};
  EXPECT_EQ(adds, (Steps{{true, 1}, {false, 1}, {false, 1}, {true, 2}, {false, 2}}));
  EXPECT_EQ(t.ToolText(a).toStdString(), "first");

  const Steps removes = {{t.RemoveTool(a), t.ToolCount()}, {t.RemoveTool(a), t.ToolCount()}};
  EXPECT_EQ(removes, (Steps{{true, 1}, {false, 1}}));
  EXPECT_EQ(t.ToolText(a).toStdString(), "");
  askForTip(a);  // a removed control no longer gets tips from the component
  EXPECT_EQ(a->tipEvents, 1);
  auto* c = new QWidget(&owner);
  const Steps again = {{t.AddTool(a), t.ToolCount()}, {t.AddTool(c, "gone soon"), t.ToolCount()}};
  EXPECT_EQ(again, (Steps{{true, 2}, {true, 3}})) << "a removed control can be registered again";
  delete c;
  EXPECT_EQ(t.ToolCount(), 2);
}

TEST_F(ToolTip, ToolTextReadsEmptyWithoutTextOrTool) {
  ASSERT_TRUE(t.AddTool(a));
  auto texts = [&] {
    return std::vector{t.ToolText(a).toStdString(), t.ToolText(b).toStdString(), t.ToolText(nullptr).toStdString()};
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"", "", ""}));
  t.ToolText(a, "now with text");
  t.ToolText(b, "ignored");  // a write for an unregistered control
  EXPECT_EQ(texts(), (std::vector<std::string>{"now with text", "", ""}));
  EXPECT_EQ(t.ToolCount(), 1);
  t.ToolText(a, QString("ab") + QChar(u'\0') + "cd");  // read back up to the first NUL
  EXPECT_EQ(t.ToolText(a).toStdString(), "ab");
}

TEST_F(ToolTip, MaxTipWidthBelowOneReadsMinusOneAndWrapsLongText) {
  const QString longText(400, u'w');
  EXPECT_EQ(t.MaxTipWidth(), -1);
  EXPECT_EQ(t.formattedText(longText), longText);  // no limit: the text goes out unchanged
  for (const auto& [set, read] : {std::pair{240, 240}, {0, -1}, {240, 240}, {-7, -1}, {70000, 70000 - 65536}}) {
    t.MaxTipWidth(set);  // the reply is 16 bits wide
    EXPECT_EQ(t.MaxTipWidth(), read) << set;
  }
  t.MaxTipWidth(240);
  EXPECT_EQ(t.formattedText("short"), "short");
  const QString wrapped = t.formattedText(longText + " <&>");
  EXPECT_TRUE(wrapped.contains("width=\"240\"")) << wrapped.toStdString();
  EXPECT_TRUE(wrapped.contains("&lt;&amp;&gt;")) << wrapped.toStdString();
  EXPECT_TRUE(Qt::mightBeRichText(wrapped));
}

TEST_F(ToolTip, MarginWritesOnlyTheAskedSideAndDelayTypeUsesTheTwoLowestBits) {
  for (int side = 0; side < 4; ++side) t.Margin(side, side == 3 ? 9 : side + 1);
  t.Margin(3, 4);
  t.Margin(4, 50);  // sides outside 0..3 read 0 and change nothing
  t.Margin(-1, 50);
  EXPECT_EQ((std::vector{t.Margin(-1), t.Margin(0), t.Margin(1), t.Margin(2), t.Margin(3), t.Margin(4)}),
            (std::vector{0, 1, 2, 3, 4, 0}));
  EXPECT_TRUE(t.formattedText("m").contains("margin-bottom:4px"));

  const int reshow = t.DelayTime(1);
  const int initial = t.DelayTime(3);
  t.DelayTime(6, 20000);
  EXPECT_EQ((std::vector{t.DelayTime(2), t.DelayTime(6), t.DelayTime(1), t.DelayTime(3)}),
            (std::vector{20000, 20000, reshow, initial}));
  t.DelayTime(7, 250);
  t.DelayTime(5, 40);
  EXPECT_EQ((std::vector{t.DelayTime(3), t.DelayTime(2), t.DelayTime(1)}), (std::vector{250, 20000, 40}));
}

TEST_F(ToolTip, ColoursReachTheTipPalette) {
  t.BackColor(0x00E1FFFFu);  // pale yellow, 0x00BBGGRR
  t.ForeColor(0x00800000u);  // navy
  EXPECT_EQ(std::pair(t.BackColor(), t.ForeColor()), std::pair(0x00E1FFFFu, 0x00800000u));
  const QPalette p = QToolTip::palette();
  EXPECT_EQ(std::pair(p.color(QPalette::ToolTipBase), p.color(QPalette::ToolTipText)),
            std::pair(QColor(0xFF, 0xFF, 0xE1), QColor(0x00, 0x00, 0x80)));
}

TEST_F(ToolTip, ShowsTheToolTextForARegisteredControlForTheAutoPopDelay) {
  ASSERT_TRUE(t.AddTool(a, "Tip for A"));
  ASSERT_TRUE(t.AddTool(b));
  EXPECT_TRUE(askForTip(a));
  EXPECT_EQ(a->tipEvents, 0);  // taken by the component
  EXPECT_EQ(std::pair(QToolTip::isVisible(), QToolTip::text().toStdString()),
            std::pair(true, std::string("Tip for A")));
  QToolTip::hideText();
  askForTip(b);  // without a text the request goes on to the control itself
  EXPECT_EQ(b->tipEvents, 1);
  t.ToolText(b, "Tip for B");  // once it has a text, the component shows it
  askForTip(b);
  EXPECT_EQ(b->tipEvents, 1);
  EXPECT_EQ(QToolTip::text().toStdString(), "Tip for B");

  // The auto-pop delay is how long a tip stays.
  QToolTip::hideText();
  t.DelayTime(2, 60);
  askForTip(a);
  ASSERT_TRUE(QToolTip::isVisible());
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(within([] { return !QToolTip::isVisible(); }));
  EXPECT_LT(clock.elapsed(), 2000);
  t.DelayTime(2, 20000);  // a long stay keeps it up well past that
  askForTip(a);
  pumpFor(300);
  EXPECT_TRUE(QToolTip::isVisible());
}

// The main window sets up its tips at start-up; the job grid keeps its own
// column tip until the tool is given a text.
TEST(WindowTips, StartUpRegistersBothGridsAndTheJobGridKeepsItsColumnTip) {
  WindowHarness h;
  auto w = h.start();
  clsToolTip& t = w->toolTip();
  EXPECT_NE(t.hWnd(), 0);
  EXPECT_EQ(std::tuple(t.MaxTipWidth(), t.DelayTime(2), t.ToolCount()), std::tuple(240, 20000, 2));
  auto* drives = w->findChild<QWidget*>("iGrid1");
  auto* jobs = w->findChild<QWidget*>("iGrid2");
  ASSERT_TRUE(drives && jobs);
  EXPECT_EQ(std::pair(t.AddTool(drives), t.AddTool(jobs)), std::pair(false, false)) << "both are registered";
  EXPECT_EQ((t.ToolText(drives) + t.ToolText(jobs)).toStdString(), "");

  w->form().iGrid2.setTooltip("Column tip");
  EXPECT_EQ(tipOf(jobs), "Column tip");
  QToolTip::hideText();
  t.ToolText(jobs, "Tool text");
  EXPECT_EQ(tipOf(jobs), "Tool text");
  QToolTip::hideText();
}

}  // namespace
}  // namespace mdi
