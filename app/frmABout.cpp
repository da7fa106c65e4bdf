#include "app/frmABout.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace mdi {

namespace {
QPixmap banner() {
  QPixmap p(400, 86);
  QPainter g(&p);
  QLinearGradient grad(0, 0, 400, 0);
  grad.setColorAt(0, QColor(20, 40, 90));
  grad.setColorAt(1, QColor(70, 120, 190));
  g.fillRect(p.rect(), grad);
  g.setPen(Qt::white);
  QFont f = g.font();
  f.setPointSize(18);
  f.setBold(true);
  g.setFont(f);
  g.drawText(p.rect(), Qt::AlignCenter, "Vantor HDD Imager");
  return p;
}
}  // namespace

frmABout::frmABout(QWidget* parent) : QDialog(parent) {
  setObjectName("frmABout");
  setWindowTitle("About");
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* frame = new QGroupBox("About Vantor HDD Imager", this);
  frame->setObjectName("Frame1");
  frame->setMouseTracking(true);
  frame->installEventFilter(this);
  outer->addWidget(frame);
  auto* v = new QVBoxLayout(frame);
  auto* image = new QLabel(frame);
  image->setObjectName("Image1");
  image->setPixmap(banner());
  v->addWidget(image);
  auto* version = new QLabel(
      QString("Version : %1.%2.%3").arg(MDI_VERSION_MAJOR).arg(MDI_VERSION_MINOR).arg(MDI_VERSION_PATCH), frame);
  version->setObjectName("Label2");
  v->addWidget(version);
  m_link = new QLabel("https://www.kernel.org/doc/html/latest/scsi/scsi.html", frame);
  m_link->setObjectName("lblLink");
  m_link->setMouseTracking(true);
  m_link->setCursor(Qt::PointingHandCursor);
  m_link->installEventFilter(this);
  setLinkHot(false);
  v->addWidget(m_link);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("Command1");
  outer->addWidget(ok, 0, Qt::AlignRight);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void frmABout::setLinkHot(bool hot) {
  m_link->setStyleSheet(hot ? "color: rgb(0,0,255); text-decoration: underline;"
                            : "color: black; text-decoration: none;");
  m_link->setProperty("hot", hot);
}

bool frmABout::eventFilter(QObject* o, QEvent* e) {
  if (o == m_link && e->type() == QEvent::MouseMove && !m_link->property("hot").toBool()) setLinkHot(true);
  if (o == m_link && e->type() == QEvent::MouseButtonRelease) QDesktopServices::openUrl(QUrl(m_link->text()));
  // A move over the link that the link does not take reaches the frame too:
  // only a move over the frame itself turns the link back to plain.
  if (o->objectName() == "Frame1" && e->type() == QEvent::MouseMove &&
      !m_link->geometry().contains(static_cast<QMouseEvent*>(e)->position().toPoint()))
    setLinkHot(false);
  return QDialog::eventFilter(o, e);
}

}  // namespace mdi
