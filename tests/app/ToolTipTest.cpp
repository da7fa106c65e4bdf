// The tooltip wrapper over plain widgets, and the tips the main window sets
// up at start-up. Runs under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QPalette>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/clsToolTip.h"
#include "app/frmMain.h"
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
    if (e->type() == QEvent::ToolTip) ++tipEvents;
    return QWidget::event(e);
  }
};

// Sends the request a hovering pointer would cause.
bool askForTip(QWidget* w) {
  QHelpEvent e(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
  return QApplication::sendEvent(w, &e);
}

class ToolTip : public ::testing::Test {
 protected:
  void SetUp() override {
    owner.resize(200, 100);
    a = new CountingWidget(&owner);
    b = new CountingWidget(&owner);
    a->setGeometry(0, 0, 50, 50);
    b->setGeometry(60, 0, 50, 50);
    owner.show();
    savedPalette = QToolTip::palette();
  }
  void TearDown() override {
    QToolTip::hideText();
    QToolTip::setPalette(savedPalette);
  }
  QWidget owner;
  CountingWidget* a = nullptr;
  CountingWidget* b = nullptr;
  QPalette savedPalette;
};

TEST_F(ToolTip, CreateTwiceMakesOneWindow) {
  clsToolTip t;
  EXPECT_EQ(t.hWnd(), 0);
  EXPECT_EQ(t.ToolTipHandle(), 0);
  ASSERT_TRUE(t.Create(&owner));
  const auto h = t.hWnd();
  EXPECT_NE(h, 0);
  EXPECT_EQ(t.ToolTipHandle(), h);
  EXPECT_TRUE(t.Create(&owner));
  EXPECT_EQ(t.hWnd(), h);
  // Another object has its own window.
  clsToolTip other;
  ASSERT_TRUE(other.Create(&owner));
  EXPECT_NE(other.hWnd(), h);
}

TEST_F(ToolTip, AddToolTwiceIsRefused) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  EXPECT_EQ(t.ToolCount(), 0);
  EXPECT_TRUE(t.AddTool(a, "first"));
  EXPECT_EQ(t.ToolCount(), 1);
  EXPECT_FALSE(t.AddTool(a, "second"));
  EXPECT_EQ(t.ToolCount(), 1);
  EXPECT_EQ(t.ToolText(a).toStdString(), "first");
  EXPECT_TRUE(t.AddTool(b));
  EXPECT_EQ(t.ToolCount(), 2);
  EXPECT_FALSE(t.AddTool(nullptr));
  EXPECT_EQ(t.ToolCount(), 2);
}

TEST_F(ToolTip, RemoveTool) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  ASSERT_TRUE(t.AddTool(a, "x"));
  EXPECT_FALSE(t.RemoveTool(b));
  EXPECT_EQ(t.ToolCount(), 1);
  EXPECT_TRUE(t.RemoveTool(a));
  EXPECT_EQ(t.ToolCount(), 0);
  EXPECT_FALSE(t.RemoveTool(a));
  EXPECT_EQ(t.ToolText(a).toStdString(), "");
  // Removed controls no longer get tips from the component.
  a->tipEvents = 0;
  askForTip(a);
  EXPECT_EQ(a->tipEvents, 1);
  // It can be registered again.
  EXPECT_TRUE(t.AddTool(a));
  EXPECT_EQ(t.ToolCount(), 1);
}

TEST_F(ToolTip, DestroyedControlLeavesTheList) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  auto* c = new QWidget(&owner);
  ASSERT_TRUE(t.AddTool(c, "gone soon"));
  ASSERT_TRUE(t.AddTool(a));
  EXPECT_EQ(t.ToolCount(), 2);
  delete c;
  EXPECT_EQ(t.ToolCount(), 1);
}

TEST_F(ToolTip, MaxTipWidthBelowOneReadsMinusOne) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  EXPECT_EQ(t.MaxTipWidth(), -1);
  t.MaxTipWidth(240);
  EXPECT_EQ(t.MaxTipWidth(), 240);
  t.MaxTipWidth(0);
  EXPECT_EQ(t.MaxTipWidth(), -1);
  t.MaxTipWidth(240);
  t.MaxTipWidth(-7);
  EXPECT_EQ(t.MaxTipWidth(), -1);
  // The reply is 16 bits wide.
  t.MaxTipWidth(70000);
  EXPECT_EQ(t.MaxTipWidth(), 70000 - 65536);
}

TEST_F(ToolTip, LongTextWrapsAtMaxTipWidth) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  const QString longText(400, u'w');
  // No limit: the text goes out unchanged.
  EXPECT_EQ(t.formattedText(longText), longText);
  t.MaxTipWidth(240);
  EXPECT_EQ(t.formattedText("short"), "short");
  const QString wrapped = t.formattedText(longText + " <&>");
  EXPECT_TRUE(wrapped.contains("width=\"240\"")) << wrapped.toStdString();
  EXPECT_TRUE(wrapped.contains("&lt;&amp;&gt;")) << wrapped.toStdString();
  EXPECT_TRUE(Qt::mightBeRichText(wrapped));
}

TEST_F(ToolTip, MarginWritesOnlyTheAskedSide) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  t.Margin(0, 1);
  t.Margin(1, 2);
  t.Margin(2, 3);
  t.Margin(3, 9);
  EXPECT_EQ(t.Margin(0), 1);
  EXPECT_EQ(t.Margin(1), 2);
  EXPECT_EQ(t.Margin(2), 3);
  EXPECT_EQ(t.Margin(3), 9);
  t.Margin(3, 4);
  EXPECT_EQ(t.Margin(0), 1);
  EXPECT_EQ(t.Margin(1), 2);
  EXPECT_EQ(t.Margin(2), 3);
  EXPECT_EQ(t.Margin(3), 4);
  // Sides outside 0..3 read 0 and change nothing.
  t.Margin(4, 50);
  t.Margin(-1, 50);
  EXPECT_EQ(t.Margin(4), 0);
  EXPECT_EQ(t.Margin(-1), 0);
  EXPECT_EQ(t.Margin(0), 1);
  EXPECT_EQ(t.Margin(3), 4);
  EXPECT_TRUE(t.formattedText("m").contains("margin-bottom:4px"));
}

TEST_F(ToolTip, DelayTypeUsesTheTwoLowestBits) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  const int reshow = t.DelayTime(1);
  const int initial = t.DelayTime(3);
  t.DelayTime(6, 20000);
  EXPECT_EQ(t.DelayTime(2), 20000);
  EXPECT_EQ(t.DelayTime(6), 20000);
  EXPECT_EQ(t.DelayTime(1), reshow);
  EXPECT_EQ(t.DelayTime(3), initial);
  t.DelayTime(7, 250);
  EXPECT_EQ(t.DelayTime(3), 250);
  EXPECT_EQ(t.DelayTime(2), 20000);
  t.DelayTime(5, 40);
  EXPECT_EQ(t.DelayTime(1), 40);
}

TEST_F(ToolTip, ColoursReachTheTipPalette) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  t.BackColor(0x00E1FFFFu);  // pale yellow, 0x00BBGGRR
  t.ForeColor(0x00800000u);  // navy
  EXPECT_EQ(t.BackColor(), 0x00E1FFFFu);
  EXPECT_EQ(t.ForeColor(), 0x00800000u);
  EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(0xFF, 0xFF, 0xE1));
  EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipText), QColor(0x00, 0x00, 0x80));
}

TEST_F(ToolTip, ToolTextReadsEmptyWithoutTextOrTool) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  ASSERT_TRUE(t.AddTool(a));
  EXPECT_EQ(t.ToolText(a).toStdString(), "");
  EXPECT_EQ(t.ToolText(b).toStdString(), "");
  EXPECT_EQ(t.ToolText(nullptr).toStdString(), "");
  t.ToolText(a, "now with text");
  EXPECT_EQ(t.ToolText(a).toStdString(), "now with text");
  // A write for an unregistered control is ignored.
  t.ToolText(b, "ignored");
  EXPECT_EQ(t.ToolText(b).toStdString(), "");
  EXPECT_EQ(t.ToolCount(), 1);
  // Read back up to the first NUL.
  t.ToolText(a, QString("ab") + QChar(u'\0') + "cd");
  EXPECT_EQ(t.ToolText(a).toStdString(), "ab");
}

TEST_F(ToolTip, EverythingReadsZeroBeforeCreate) {
  clsToolTip t;
  EXPECT_FALSE(t.AddTool(a, "x"));
  EXPECT_FALSE(t.RemoveTool(a));
  t.BackColor(0x123456u);
  t.ForeColor(0x654321u);
  t.DelayTime(2, 20000);
  t.Margin(3, 5);
  t.MaxTipWidth(240);
  t.ToolText(a, "x");
  EXPECT_EQ(t.BackColor(), 0u);
  EXPECT_EQ(t.ForeColor(), 0u);
  for (int type = 0; type < 4; ++type) EXPECT_EQ(t.DelayTime(type), 0);
  for (int side = 0; side < 4; ++side) EXPECT_EQ(t.Margin(side), 0);
  EXPECT_EQ(t.MaxTipWidth(), 0);
  EXPECT_EQ(t.ToolCount(), 0);
  EXPECT_EQ(t.hWnd(), 0);
  EXPECT_EQ(t.ToolTipHandle(), 0);
  EXPECT_EQ(t.ToolText(a).toStdString(), "");
  // The writes before Create left nothing behind.
  ASSERT_TRUE(t.Create(&owner));
  EXPECT_EQ(t.ToolCount(), 0);
  EXPECT_EQ(t.MaxTipWidth(), -1);
  EXPECT_EQ(t.Margin(3), 0);
  EXPECT_NE(t.DelayTime(2), 20000);
  // And no tip from it either.
  askForTip(a);
  EXPECT_EQ(a->tipEvents, 1);
}

TEST_F(ToolTip, ShowsTheToolTextForARegisteredControl) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  ASSERT_TRUE(t.AddTool(a, "Tip for A"));
  ASSERT_TRUE(t.AddTool(b));
  EXPECT_TRUE(askForTip(a));
  EXPECT_EQ(a->tipEvents, 0);  // taken by the component
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text().toStdString(), "Tip for A");
  QToolTip::hideText();
  // Without a text the request goes on to the control itself.
  askForTip(b);
  EXPECT_EQ(b->tipEvents, 1);
  // Once it has a text, the component shows it.
  t.ToolText(b, "Tip for B");
  askForTip(b);
  EXPECT_EQ(b->tipEvents, 1);
  EXPECT_EQ(QToolTip::text().toStdString(), "Tip for B");
}

TEST_F(ToolTip, AutoPopDelayIsHowLongATipStays) {
  clsToolTip t;
  ASSERT_TRUE(t.Create(&owner));
  ASSERT_TRUE(t.AddTool(a, "brief"));
  t.DelayTime(2, 60);
  askForTip(a);
  ASSERT_TRUE(QToolTip::isVisible());
  QElapsedTimer clock;
  clock.start();
  while (QToolTip::isVisible() && clock.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_FALSE(QToolTip::isVisible());
  EXPECT_LT(clock.elapsed(), 2000);
  // A long stay keeps it up well past that.
  t.DelayTime(2, 20000);
  askForTip(a);
  clock.restart();
  while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(QToolTip::isVisible());
}

// The main window sets up its tips at start-up.
class WindowTips : public ::testing::Test {
 protected:
  void SetUp() override {
    w = std::make_unique<frmMain>(h.deps(std::filesystem::temp_directory_path().string()));
    w->startUp();
  }
  void TearDown() override {
    QToolTip::hideText();
    w.reset();
  }
  QWidget* grid(const char* name) { return w->findChild<QWidget*>(name); }

  WindowHarness h;
  std::unique_ptr<frmMain> w;
};

TEST_F(WindowTips, StartUpRegistersBothGrids) {
  clsToolTip& t = w->toolTip();
  EXPECT_NE(t.hWnd(), 0);
  EXPECT_EQ(t.MaxTipWidth(), 240);
  EXPECT_EQ(t.DelayTime(2), 20000);
  EXPECT_EQ(t.ToolCount(), 2);
  ASSERT_NE(grid("iGrid1"), nullptr);
  ASSERT_NE(grid("iGrid2"), nullptr);
  EXPECT_FALSE(t.AddTool(grid("iGrid1")));
  EXPECT_FALSE(t.AddTool(grid("iGrid2")));
  EXPECT_EQ(t.ToolText(grid("iGrid1")).toStdString(), "");
  EXPECT_EQ(t.ToolText(grid("iGrid2")).toStdString(), "");
}

TEST_F(WindowTips, JobGridKeepsItsOwnColumnTip) {
  w->form().iGrid2.setTooltip("Column tip");
  QWidget* g = grid("iGrid2");
  ASSERT_NE(g, nullptr);
  askForTip(g);
  EXPECT_EQ(QToolTip::text().toStdString(), "Column tip");
  QToolTip::hideText();
  // A text given to the tool takes over.
  w->toolTip().ToolText(g, "Tool text");
  askForTip(g);
  EXPECT_EQ(QToolTip::text().toStdString(), "Tool text");
}

}  // namespace
}  // namespace mdi
