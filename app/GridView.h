#pragma once
// A QTableWidget that draws a GridModel and reports the operator's clicks
// in the model's numbering (rows and columns from 1, header row 0).
#include <QTableWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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

  // Extra tip text for a data cell (drive details); "" for none.
  using CellTip = std::function<std::string(int row, int col)>;
  void setCellTip(CellTip tip) { m_cellTip = std::move(tip); }
  // The tip of a data cell: the cell tip or, without one, the cell's full
  // text (long texts are elided in the middle), then the grid's tooltip.
  QString tipFor(int row, int col) const;

  // Fits the shown columns into the grid's width: `content` columns as wide
  // as their header and texts, `stretch` takes what is left.
  void setColumnFit(std::vector<int> content, int stretch);

 signals:
  void cellDoubleClickedAt(int row, int col);
  void mousePressedAt(Qt::MouseButton button, int row, int col);
  void cellEnteredAt(int row, int col);
  void editEndedAt(int row, int col);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  void fillItem(int row, int col);
  void fitColumns();
  CellTip m_cellTip;
  std::vector<int> m_contentCols;
  int m_stretchCol = 0;
  bool m_fitting = false;
  GridModel& m_model;
  bool m_syncing = false;
  std::pair<int, int> m_editing{0, 0};  // cell being edited in place (row, col)
};

}  // namespace mdi
