#pragma once
// The grid that holds both lists of the main window (drives, jobs). It is
// the only store of its rows: callers address cells by (row, column), both
// counted from 1; row 0 is the header and never holds data. A Qt view draws
// it and reports the operator's clicks back; everything else is here, so
// the list logic is tested without a display.
#include <cstdint>
#include <string>
#include <vector>

namespace mdi {

// 32-bit colour, red in the lowest byte, then green, then blue.
using Color = std::uint32_t;
constexpr Color kDefaultBack = 0xFFFFFF;
constexpr Color kDefaultFore = 0x000000;
constexpr Color rgb(unsigned r, unsigned g, unsigned b) { return (b << 16) | (g << 8) | r; }

// Told of every change so a view can redraw. All methods default to no-op.
class GridListener {
 public:
  virtual ~GridListener() = default;
  virtual void gridReset() {}  // rows added/removed/reordered, columns changed
  virtual void cellChanged(int /*row*/, int /*col*/) {}
  virtual void currentRowChanged(int /*row*/) {}
  virtual void editRequested(int /*row*/, int /*col*/) {}
  virtual void settingsChanged() {}  // flags, tooltip
};

class GridModel {
 public:
  void setListener(GridListener* l) { m_listener = l; }

  void setColumnCount(int n);
  int columnCount() const { return static_cast<int>(m_columns.size()); }
  void setHeader(int col, const std::string& text);
  std::string header(int col) const;
  void setColumnWidth(int col, int px);
  int columnWidth(int col) const;  // 0 means the grid's default width
  void setColumnVisible(int col, bool visible);
  bool isColumnVisible(int col) const;

  int rowCount() const { return static_cast<int>(m_rows.size()); }
  // Appends an empty row; returns its number (the new row count).
  int addRow();
  // Removes `count` rows from `first`; out-of-range parts are ignored.
  void removeRows(int first, int count);

  // Cell values. Out-of-range reads give "" and the default colours;
  // out-of-range writes are ignored.
  std::string value(int row, int col) const;
  void setValue(int row, int col, const std::string& v);
  void setValue(int row, int col, std::int64_t number);  // reads back as decimal text
  void setValue(int row, int col, const char* v) { setValue(row, col, std::string(v)); }
  std::string displayedText(int row, int col) const { return value(row, col); }
  Color backColor(int row, int col) const;
  void setBackColor(int row, int col, Color c);
  Color foreColor(int row, int col) const;
  void setForeColor(int row, int col, Color c);

  int currentRow() const { return m_current; }
  void setCurrentRow(int row);  // 0 or out of range: no current row

  void setEditAllowed(bool on);
  // Starts in-place editing of a cell; only while editing is allowed.
  // Returns whether an edit was started.
  bool beginEdit(int row, int col);
  bool acceptsInput() const { return m_acceptsInput; }
  void setAcceptsInput(bool on);
  std::string tooltip() const { return m_tooltip; }
  void setTooltip(const std::string& t);

  // Stable ascending order by a column: cells that read as numbers first,
  // in numeric order, then the other texts ("File") in text order.
  void sortByColumn(int col);

 private:
  struct Cell {
    std::string value;
    Color back = kDefaultBack;
    Color fore = kDefaultFore;
  };
  struct Column {
    std::string header;
    int width = 0;
    bool visible = true;
  };
  bool validCell(int row, int col) const;
  Cell* cell(int row, int col);
  const Cell* cell(int row, int col) const;
  void reset();

  std::vector<Column> m_columns;
  std::vector<std::vector<Cell>> m_rows;
  int m_current = 0;
  bool m_editAllowed = false;
  bool m_acceptsInput = true;
  std::string m_tooltip;
  GridListener* m_listener = nullptr;
};

}  // namespace mdi
