#include "app/GridView.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>
#include <utility>

namespace mdi {

namespace {
QColor toQColor(Color c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// A coloured row (a system drive, drawn red) keeps its colour when it is
// selected, a shade darker so the selection still shows: the operator is
// about to double-click it and must still see what it is.
class CellDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* o, const QModelIndex& i) const override {
    QStyledItemDelegate::initStyleOption(o, i);
    if (!(o->state & QStyle::State_Selected)) return;
    const QBrush back = i.data(Qt::BackgroundRole).value<QBrush>();
    if (back.style() == Qt::NoBrush || back.color() == toQColor(kDefaultBack)) return;
    o->palette.setColor(QPalette::Highlight, back.color().darker(140));
    o->palette.setColor(QPalette::HighlightedText, i.data(Qt::ForegroundRole).value<QBrush>().color());
  }
};

constexpr int kMinStretchWidth = 40;
}  // namespace

GridView::GridView(GridModel& model, QWidget* parent) : QTableWidget(parent), m_model(model) {
  setMouseTracking(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(20);
  setItemDelegate(new CellDelegate(this));
  // Paths lose their middle, not the file name at their end. A wrapped
  // cell would be cut at the end of its last line instead.
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
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
  fitColumns();
}

void GridView::cellChanged(int row, int col) {
  if (m_syncing) return;
  m_syncing = true;
  fillItem(row, col);
  m_syncing = false;
  if (std::find(m_contentCols.begin(), m_contentCols.end(), col) != m_contentCols.end()) fitColumns();
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

void GridView::setColumnFit(std::vector<int> content, int stretch) {
  m_contentCols = std::move(content);
  m_stretchCol = stretch;
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  fitColumns();
}

void GridView::fitColumns() {
  if (m_stretchCol < 1 || m_fitting) return;
  m_fitting = true;
  for (int c : m_contentCols) {
    if (isColumnHidden(c - 1)) continue;
    const int header = horizontalHeader()->sectionSizeHint(c - 1);
    setColumnWidth(c - 1, std::max(header, sizeHintForColumn(c - 1)));
  }
  int others = 0;
  for (int c = 1; c <= columnCount(); ++c)
    if (c != m_stretchCol && !isColumnHidden(c - 1)) others += columnWidth(c - 1);
  setColumnWidth(m_stretchCol - 1, std::max(kMinStretchWidth, viewport()->width() - others));
  m_fitting = false;
}

void GridView::resizeEvent(QResizeEvent* e) {
  QTableWidget::resizeEvent(e);
  fitColumns();
}

QString GridView::tipFor(int row, int col) const {
  QStringList lines;
  const std::string extra = m_cellTip ? m_cellTip(row, col) : std::string();
  const std::string own = extra.empty() ? m_model.value(row, col) : extra;
  if (!own.empty()) lines << QString::fromStdString(own);
  if (!m_model.tooltip().empty()) lines << QString::fromStdString(m_model.tooltip());
  return lines.join('\n');
}

bool GridView::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    auto* he = static_cast<QHelpEvent*>(e);
    const QModelIndex idx = indexAt(he->pos());
    if (idx.isValid()) {
      const QString tip = tipFor(idx.row() + 1, idx.column() + 1);
      if (!tip.isEmpty()) {
        QToolTip::showText(he->globalPos(), tip, viewport(), visualRect(idx));
        return true;
      }
    }
  }
  return QTableWidget::viewportEvent(e);
}

bool GridView::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip && !m_model.tooltip().empty()) {
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), QString::fromStdString(m_model.tooltip()), this);
    return true;
  }
  return QTableWidget::event(e);
}

}  // namespace mdi
