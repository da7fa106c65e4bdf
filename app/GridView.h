#pragma once
// A QTableWidget that draws a GridModel and reports the operator's clicks
// in the model's numbering (rows and columns from 1, header row 0).
#include <QTableWidget>
#include <utility>

#include "support/GridModel.h"

namespace mdi {

class GridView final : public QTableWidget, public GridListener {
  Q_OBJECT
 public:
  GridView(GridModel& model, QWidget* parent);
  ~GridView() override;

  void gridReset() override;
  void cellChanged(int row, int col) override;
  void currentRowChanged(int row) override;
  void editRequested(int row, int col) override;
  void settingsChanged() override;

 signals:
  void cellDoubleClickedAt(int row, int col);
  void mousePressedAt(Qt::MouseButton button, int row, int col);
  void cellEnteredAt(int row, int col);
  void editEndedAt(int row, int col);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  bool event(QEvent* e) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  void fillItem(int row, int col);
  GridModel& m_model;
  bool m_syncing = false;
  std::pair<int, int> m_editing{0, 0};  // cell being edited in place (row, col)
};

}  // namespace mdi
