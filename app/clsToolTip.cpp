#include "app/clsToolTip.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPalette>
#include <QToolTip>
#include <algorithm>

namespace mdi {

namespace {

// Platform-like defaults: half a second before a tip shows, ten times that
// while it stays up, a fifth of it between neighbouring tips.
constexpr int kInitialDefault = 500;

std::uint32_t toColourRef(const QColor& c) {
  return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
         (static_cast<std::uint32_t>(c.blue()) << 16);
}
QColor fromColourRef(std::uint32_t v) {
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

}  // namespace

// Watches the registered controls for tooltip requests.
class clsToolTip::TipWindow final : public QObject {
 public:
  explicit TipWindow(clsToolTip& owner) : m_owner(owner) {}

  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::ToolTip) {
      auto* w = qobject_cast<QWidget*>(o);
      // A scroll area's tips arrive at its viewport.
      if (w && !m_owner.findTool(w)) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget()); area && area->viewport() == w) w = area;
      }
      if (w && m_owner.showTip(w, static_cast<QHelpEvent*>(e)->globalPos())) return true;
    }
    return QObject::eventFilter(o, e);
  }

 private:
  clsToolTip& m_owner;
};

clsToolTip::clsToolTip() = default;

clsToolTip::~clsToolTip() {
  if (!m_tip) return;
  for (Tool& t : m_tools)
    if (t.control) watch(t.control, false);
}

bool clsToolTip::Create(QWidget* /*owner*/) {
  if (m_tip) return true;
  m_tip = std::make_unique<TipWindow>(*this);
  const QPalette p = QToolTip::palette();
  m_back = toColourRef(p.color(QPalette::ToolTipBase));
  m_fore = toColourRef(p.color(QPalette::ToolTipText));
  m_delay[DelayInitial] = kInitialDefault;
  m_delay[DelayAutoPop] = kInitialDefault * 10;
  m_delay[DelayReshow] = kInitialDefault / 5;
  m_delay[DelayAutomatic] = kInitialDefault;
  m_margin = {0, 0, 0, 0};
  m_maxWidth = -1;
  return true;
}

void clsToolTip::dropDeadTools() const {
  m_tools.erase(std::remove_if(m_tools.begin(), m_tools.end(), [](const Tool& t) { return t.control.isNull(); }),
                m_tools.end());
}

clsToolTip::Tool* clsToolTip::findTool(QWidget* control) {
  if (!control) return nullptr;
  dropDeadTools();
  for (Tool& t : m_tools)
    if (t.control == control) return &t;
  return nullptr;
}

const clsToolTip::Tool* clsToolTip::findTool(QWidget* control) const {
  return const_cast<clsToolTip*>(this)->findTool(control);
}

void clsToolTip::watch(QWidget* control, bool on) {
  auto* area = qobject_cast<QAbstractScrollArea*>(control);
  if (on) {
    control->installEventFilter(m_tip.get());
    if (area && area->viewport()) area->viewport()->installEventFilter(m_tip.get());
  } else {
    control->removeEventFilter(m_tip.get());
    if (area && area->viewport()) area->viewport()->removeEventFilter(m_tip.get());
  }
}

bool clsToolTip::AddTool(QWidget* control, const QString& text) {
  if (!m_tip || !control || findTool(control)) return false;
  m_tools.push_back({control, text});
  watch(control, true);
  return true;
}

bool clsToolTip::RemoveTool(QWidget* control) {
  if (!m_tip) return false;
  Tool* t = findTool(control);
  if (!t) return false;
  watch(control, false);
  m_tools.erase(m_tools.begin() + (t - m_tools.data()));
  return true;
}

std::uint32_t clsToolTip::BackColor() const { return m_tip ? m_back : 0; }
std::uint32_t clsToolTip::ForeColor() const { return m_tip ? m_fore : 0; }

void clsToolTip::BackColor(std::uint32_t colour) {
  if (!m_tip) return;
  m_back = colour;
  applyPalette();
}

void clsToolTip::ForeColor(std::uint32_t colour) {
  if (!m_tip) return;
  m_fore = colour;
  applyPalette();
}

void clsToolTip::applyPalette() const {
  QPalette p = QToolTip::palette();
  p.setColor(QPalette::ToolTipBase, fromColourRef(m_back));
  p.setColor(QPalette::ToolTipText, fromColourRef(m_fore));
  QToolTip::setPalette(p);
}

int clsToolTip::DelayTime(int type) const {
  if (!m_tip) return 0;
  return m_delay[static_cast<std::size_t>(type & 3)];
}

void clsToolTip::DelayTime(int type, int msec) {
  if (!m_tip) return;
  const int t = type & 3;
  if (t == DelayAutomatic) {
    // One value sets all three, in the platform's usual proportions.
    m_delay[DelayAutomatic] = msec;
    m_delay[DelayInitial] = msec;
    m_delay[DelayAutoPop] = msec * 10;
    m_delay[DelayReshow] = msec / 5;
    return;
  }
  m_delay[static_cast<std::size_t>(t)] = msec;
  if (t == DelayInitial) m_delay[DelayAutomatic] = msec;
}

int clsToolTip::Margin(int side) const {
  if (!m_tip || side < 0 || side > 3) return 0;
  return m_margin[static_cast<std::size_t>(side)];
}

void clsToolTip::Margin(int side, int pixels) {
  if (!m_tip || side < 0 || side > 3) return;
  m_margin[static_cast<std::size_t>(side)] = pixels;
}

int clsToolTip::MaxTipWidth() const {
  if (!m_tip) return 0;
  // Read back like the platform's 16-bit reply.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(m_maxWidth & 0xFFFF));
}

void clsToolTip::MaxTipWidth(int width) {
  if (!m_tip) return;
  m_maxWidth = width < 1 ? -1 : width;
}

int clsToolTip::ToolCount() const {
  if (!m_tip) return 0;
  dropDeadTools();
  return static_cast<int>(m_tools.size());
}

// The tip window's own address: 0 before Create, and no other living tip
// window has it, as a window system's handles are.
std::intptr_t clsToolTip::hWnd() const { return reinterpret_cast<std::intptr_t>(m_tip.get()); }

QString clsToolTip::ToolText(QWidget* control) const {
  if (!m_tip) return {};
  const Tool* t = findTool(control);
  if (!t) return {};
  // A text is read back up to its first NUL, as a C string would be.
  const qsizetype nul = t->text.indexOf(QChar(u'\0'));
  return nul < 0 ? t->text : t->text.left(nul);
}

void clsToolTip::ToolText(QWidget* control, const QString& text) {
  if (!m_tip) return;
  if (Tool* t = findTool(control)) t->text = text;
}

QString clsToolTip::formattedText(const QString& text) const {
  const int width = MaxTipWidth();
  const bool margins = std::any_of(m_margin.begin(), m_margin.end(), [](int m) { return m != 0; });
  bool wrap = false;
  if (width > 0) {
    const QFontMetrics fm(QToolTip::font());
    for (const QString& line : text.split(u'\n'))
      if (fm.horizontalAdvance(line) > width) wrap = true;
  }
  if (!wrap && !margins) return text;
  // Rich text: a fixed-width table wraps long lines; cell padding is not per
  // side, so the margins go on the table itself.
  QString html = text.toHtmlEscaped();
  html.replace(u'\n', QStringLiteral("<br>"));
  QString style = QStringLiteral("margin-left:%1px; margin-top:%2px; margin-right:%3px; margin-bottom:%4px;")
                      .arg(m_margin[0])
                      .arg(m_margin[1])
                      .arg(m_margin[2])
                      .arg(m_margin[3]);
  const QString w = wrap ? QStringLiteral(" width=\"%1\"").arg(width) : QString();
  return QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\"%1 style=\"%2\"><tr><td>%3</td></tr></table>")
      .arg(w, style, html);
}

bool clsToolTip::showTip(QWidget* control, const QPoint& globalPos) {
  const QString text = ToolText(control);
  // No text of ours: leave the event to the control (the grids show their
  // own per-column tips).
  if (text.isEmpty()) return false;
  QToolTip::showText(globalPos, formattedText(text), control, QRect(), m_delay[DelayAutoPop]);
  return true;
}

}  // namespace mdi
