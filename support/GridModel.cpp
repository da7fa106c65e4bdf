#include "support/GridModel.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace mdi {

namespace {
// A cell reads as a number when it is a whole decimal number, blanks aside.
std::optional<long long> asNumber(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  std::size_t e = s.find_last_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  long long v = 0;
  const char* first = s.data() + b;
  const char* last = s.data() + e + 1;
  auto [p, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || p != last) return std::nullopt;
  return v;
}
}  // namespace

void GridModel::setColumnCount(int n) {
  if (n < 0) n = 0;
  m_columns.resize(static_cast<std::size_t>(n));
  for (auto& r : m_rows) r.resize(static_cast<std::size_t>(n));
  reset();
}

void GridModel::setHeader(int col, const std::string& text) {
  if (col < 1 || col > columnCount()) return;
  m_columns[col - 1].header = text;
  reset();
}
std::string GridModel::header(int col) const {
  return (col < 1 || col > columnCount()) ? std::string() : m_columns[col - 1].header;
}
void GridModel::setColumnWidth(int col, int px) {
  if (col < 1 || col > columnCount()) return;
  m_columns[col - 1].width = px;
  reset();
}
int GridModel::columnWidth(int col) const { return (col < 1 || col > columnCount()) ? 0 : m_columns[col - 1].width; }
void GridModel::setColumnVisible(int col, bool visible) {
  if (col < 1 || col > columnCount()) return;
  m_columns[col - 1].visible = visible;
  reset();
}
bool GridModel::isColumnVisible(int col) const {
  return col >= 1 && col <= columnCount() && m_columns[col - 1].visible;
}

int GridModel::addRow() {
  m_rows.emplace_back(m_columns.size());
  reset();
  return rowCount();
}

void GridModel::removeRows(int first, int count) {
  if (first < 1 || count <= 0 || first > rowCount()) return;
  const int last = std::min(rowCount(), first + count - 1);
  m_rows.erase(m_rows.begin() + (first - 1), m_rows.begin() + last);
  if (m_current >= first && m_current <= last) m_current = 0;
  else if (m_current > last) m_current -= (last - first + 1);
  reset();
  if (m_listener) m_listener->currentRowChanged(m_current);
}

bool GridModel::validCell(int row, int col) const {
  return row >= 1 && row <= rowCount() && col >= 1 && col <= columnCount();
}
GridModel::Cell* GridModel::cell(int row, int col) { return validCell(row, col) ? &m_rows[row - 1][col - 1] : nullptr; }
const GridModel::Cell* GridModel::cell(int row, int col) const {
  return validCell(row, col) ? &m_rows[row - 1][col - 1] : nullptr;
}

std::string GridModel::value(int row, int col) const {
  const Cell* c = cell(row, col);
  return c ? c->value : std::string();
}
void GridModel::setValue(int row, int col, const std::string& v) {
  if (Cell* c = cell(row, col)) {
    c->value = v;
    if (m_listener) m_listener->cellChanged(row, col);
  }
}
void GridModel::setValue(int row, int col, std::int64_t number) { setValue(row, col, std::to_string(number)); }
Color GridModel::backColor(int row, int col) const {
  const Cell* c = cell(row, col);
  return c ? c->back : kDefaultBack;
}
void GridModel::setBackColor(int row, int col, Color color) {
  if (Cell* c = cell(row, col)) {
    c->back = color;
    if (m_listener) m_listener->cellChanged(row, col);
  }
}
Color GridModel::foreColor(int row, int col) const {
  const Cell* c = cell(row, col);
  return c ? c->fore : kDefaultFore;
}
void GridModel::setForeColor(int row, int col, Color color) {
  if (Cell* c = cell(row, col)) {
    c->fore = color;
    if (m_listener) m_listener->cellChanged(row, col);
  }
}

void GridModel::setCurrentRow(int row) {
  m_current = (row >= 1 && row <= rowCount()) ? row : 0;
  if (m_listener) m_listener->currentRowChanged(m_current);
}

void GridModel::setEditAllowed(bool on) {
  m_editAllowed = on;
  if (m_listener) m_listener->settingsChanged();
}
bool GridModel::beginEdit(int row, int col) {
  if (!m_editAllowed || !validCell(row, col)) return false;
  if (m_listener) m_listener->editRequested(row, col);
  return true;
}
void GridModel::setAcceptsInput(bool on) {
  m_acceptsInput = on;
  if (m_listener) m_listener->settingsChanged();
}
void GridModel::setTooltip(const std::string& t) {
  m_tooltip = t;
  if (m_listener) m_listener->settingsChanged();
}

void GridModel::sortByColumn(int col) {
  if (col < 1 || col > columnCount()) return;
  const std::vector<Cell>* current = m_current ? &m_rows[m_current - 1] : nullptr;
  std::vector<std::size_t> order(m_rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const std::string& va = m_rows[a][col - 1].value;
    const std::string& vb = m_rows[b][col - 1].value;
    const auto na = asNumber(va), nb = asNumber(vb);
    if (na && nb) return *na < *nb;
    if (na.has_value() != nb.has_value()) return na.has_value();
    return va < vb;
  });
  std::vector<std::vector<Cell>> sorted;
  sorted.reserve(m_rows.size());
  int newCurrent = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (current == &m_rows[order[i]]) newCurrent = static_cast<int>(i) + 1;
    sorted.push_back(std::move(m_rows[order[i]]));
  }
  m_rows = std::move(sorted);
  m_current = newCurrent;
  reset();
}

void GridModel::reset() {
  if (m_listener) m_listener->gridReset();
}

}  // namespace mdi
