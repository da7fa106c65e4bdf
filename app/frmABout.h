#pragma once
#include <QDialog>

class QLabel;

namespace mdi {

// The about box: made afresh for every "About" and gone after OK.
class frmABout final : public QDialog {
  Q_OBJECT
 public:
  explicit frmABout(QWidget* parent);

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void setLinkHot(bool hot);
  QLabel* m_link;
};

}  // namespace mdi
