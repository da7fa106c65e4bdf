#include "app/GridView.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <utility>

namespace mdi {

namespace {
QColor toQColor(Color c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
}  // namespace

GridView::GridView(GridModel& model, QWidget* parent) : QTableWidget(parent), m_model(model) {
  setMouseTracking(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(20);
  m_model.setListener(this);
  connect(this, &QTableWidget::cellEntered, this, [this](int r, int c) { emit cellEnteredAt(r + 1, c + 1); });
  connect(this, &QTableWidget::currentCellChanged, this, [this](int r, int, int, int) {
    if (!m_syncing) m_model.setCurrentRow(r + 1);
  });
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* it) {
    if (m_syncing) return;
    m_syncing = true;
    m_model.setValue(it->row() + 1, it->column() + 1, it->text().toStdString());
    m_syncing = false;
  });
  gridReset();
}

GridView::~GridView() { m_model.setListener(nullptr); }

void GridView::fillItem(int row, int col) {
  QTableWidgetItem* it = item(row - 1, col - 1);
  if (!it) {
    it = new QTableWidgetItem;
    setItem(row - 1, col - 1, it);
  }
  it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  it->setText(QString::fromStdString(m_model.value(row, col)));
  it->setBackground(toQColor(m_model.backColor(row, col)));
  it->setForeground(toQColor(m_model.foreColor(row, col)));
}

void GridView::gridReset() {
  m_syncing = true;
  setColumnCount(m_model.columnCount());
  QStringList headers;
  for (int c = 1; c <= m_model.columnCount(); ++c) {
    headers << QString::fromStdString(m_model.header(c));
    if (m_model.columnWidth(c) > 0) setColumnWidth(c - 1, m_model.columnWidth(c));
    setColumnHidden(c - 1, !m_model.isColumnVisible(c));
  }
  setHorizontalHeaderLabels(headers);
  setRowCount(m_model.rowCount());
  for (int r = 1; r <= m_model.rowCount(); ++r)
    for (int c = 1; c <= m_model.columnCount(); ++c) fillItem(r, c);
  setCurrentCell(m_model.currentRow() - 1, 0);
  m_syncing = false;
  settingsChanged();
}

void GridView::cellChanged(int row, int col) {
  if (m_syncing) return;
  m_syncing = true;
  fillItem(row, col);
  m_syncing = false;
}

void GridView::currentRowChanged(int row) {
  if (m_syncing) return;
  m_syncing = true;
  if (row >= 1) setCurrentCell(row - 1, std::max(0, currentColumn()));
  else clearSelection();
  m_syncing = false;
}

void GridView::editRequested(int row, int col) {
  QTableWidgetItem* it = item(row - 1, col - 1);
  if (!it) return;
  m_syncing = true;
  it->setFlags(it->flags() | Qt::ItemIsEditable);
  m_syncing = false;
  m_editing = {row, col};
  editItem(it);
}

void GridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTableWidget::closeEditor(editor, hint);
  // Every way out of an edit ends it: a changed text, the same text, Escape,
  // a click elsewhere. The typed text (if committed) is in the model by now.
  const auto [row, col] = std::exchange(m_editing, {0, 0});
  if (row < 1) return;
  if (QTableWidgetItem* it = item(row - 1, col - 1)) {
    m_syncing = true;
    it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    m_syncing = false;
  }
  emit editEndedAt(row, col);
}

void GridView::settingsChanged() {
  setEnabled(m_model.acceptsInput());
  setToolTip(QString::fromStdString(m_model.tooltip()));
}

void GridView::mousePressEvent(QMouseEvent* e) {
  const QModelIndex idx = indexAt(e->position().toPoint());
  QTableWidget::mousePressEvent(e);
  if (idx.isValid()) emit mousePressedAt(e->button(), idx.row() + 1, idx.column() + 1);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* e) {
  const QModelIndex idx = indexAt(e->position().toPoint());
  QTableWidget::mouseDoubleClickEvent(e);
  if (idx.isValid()) emit cellDoubleClickedAt(idx.row() + 1, idx.column() + 1);
}

bool GridView::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && !m_model.tooltip().empty()) {
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), QString::fromStdString(m_model.tooltip()), this);
    return true;
  }
  return QTableWidget::event(e);
}

}  // namespace mdi
