#include "platform/qt/QtServices.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>

namespace mdi {

MsgAnswer QtMessageBox::show(const Message& m) {
  QMessageBox box(m_parent);
  box.setWindowTitle(QString::fromStdString(m.title));
  box.setText(QString::fromStdString(m.text));
  box.setWindowModality(Qt::ApplicationModal);
  switch (m.icon) {
    case MsgIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Critical:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  QPushButton* resume = nullptr;
  if (m.buttons == MsgButtons::Ok) {
    box.setStandardButtons(QMessageBox::Ok);
  } else {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    if (m.buttons == MsgButtons::YesNoResume) {
      resume = box.addButton("Resume", QMessageBox::AcceptRole);
      resume->setObjectName("Resume");
    }
  }
  const int r = box.exec();
  if (m.buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (resume && box.clickedButton() == resume) return MsgAnswer::Resume;
  return r == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

std::string QtPickers::chooseFolder(const std::string& title) {
  return QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(title)).toStdString();
}

std::vector<std::string> QtPickers::chooseFiles(const std::string& title, const std::string& startFolder) {
  const QStringList files =
      QFileDialog::getOpenFileNames(m_parent, QString::fromStdString(title), QString::fromStdString(startFolder));
  std::vector<std::string> out;
  for (const QString& f : files) out.push_back(f.toStdString());
  return out;
}

void QtEventPump::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool QtLauncher::startDetached(const std::string& program, const std::vector<std::string>& args) {
  QStringList a;
  for (const auto& s : args) a << QString::fromStdString(s);
  return QProcess::startDetached(QString::fromStdString(program), a);
}

Separators QtLocale::separators() const {
  const QLocale l = QLocale::system();
  return Separators{l.groupSeparator().toStdString(), l.decimalPoint().toStdString()};
}

}  // namespace mdi
