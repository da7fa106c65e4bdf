#pragma once
// A one-line label for paths: a text too long for the label loses its
// middle, never its ends (the file or folder name is at the end), and the
// whole text is its tooltip. text() is always the whole text.
#include <QLabel>

namespace mdi {

class ElidingLabel final : public QLabel {
  Q_OBJECT
 public:
  explicit ElidingLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) {}
  // The text as painted.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  bool event(QEvent* e) override;
};

}  // namespace mdi
