#include "app/ElidingLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace mdi {

QString ElidingLabel::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidingLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  p.drawText(contentsRect(), static_cast<int>(alignment()) | Qt::TextSingleLine, shownText());
}

bool ElidingLabel::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && !text().isEmpty()) {
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text(), this);
    return true;
  }
  return QLabel::event(e);
}

}  // namespace mdi
