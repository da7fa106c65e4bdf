#pragma once
// One tooltip "window" for a set of controls, over Qt's tooltips: the owner
// registers controls with an optional text and tunes colours, delays,
// margins and the wrap width. Every operation except Create, hWnd and
// ToolTipHandle does nothing (and reads 0, "" or false) before Create.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace mdi {

class clsToolTip {
 public:
  // Delay types; only the two lowest bits of a type are looked at.
  enum : int { DelayAutomatic = 0, DelayReshow = 1, DelayAutoPop = 2, DelayInitial = 3 };
  // Margin sides.
  enum : int { MarginLeft = 0, MarginTop = 1, MarginRight = 2, MarginBottom = 3 };

  clsToolTip();
  ~clsToolTip();
  clsToolTip(const clsToolTip&) = delete;
  clsToolTip& operator=(const clsToolTip&) = delete;

  // Creates the tip window once; true when it exists afterwards.
  bool Create(QWidget* owner);
  // False when the control is missing or already registered.
  bool AddTool(QWidget* control, const QString& text = QString());
  bool RemoveTool(QWidget* control);

  // Colours as 0x00BBGGRR.
  std::uint32_t BackColor() const;
  void BackColor(std::uint32_t colour);
  std::uint32_t ForeColor() const;
  void ForeColor(std::uint32_t colour);

  // Milliseconds.
  int DelayTime(int type) const;
  void DelayTime(int type, int msec);

  // Pixels; a side outside 0..3 reads 0 and is not written.
  int Margin(int side) const;
  void Margin(int side, int pixels);

  // Pixels; a width below 1 means "no limit" and reads back as -1.
  int MaxTipWidth() const;
  void MaxTipWidth(int width);

  int ToolCount() const;
  // Non-zero once created, 0 before; both give the same value.
  std::intptr_t hWnd() const;
  std::intptr_t ToolTipHandle() const { return hWnd(); }

  // Unregistered control: reads "" and a write is ignored.
  QString ToolText(QWidget* control) const;
  void ToolText(QWidget* control, const QString& text);

  // The text as it is handed to QToolTip (wrapped to MaxTipWidth, with the
  // margins); exposed so the layout can be checked without a screen.
  QString formattedText(const QString& text) const;

 private:
  class TipWindow;
  struct Tool {
    QPointer<QWidget> control;
    QString text;
  };

  Tool* findTool(QWidget* control);
  const Tool* findTool(QWidget* control) const;
  void dropDeadTools() const;
  void applyPalette() const;
  bool showTip(QWidget* control, const QPoint& globalPos);
  void watch(QWidget* control, bool on);

  std::unique_ptr<TipWindow> m_tip;
  mutable std::vector<Tool> m_tools;
  std::uint32_t m_back = 0;
  std::uint32_t m_fore = 0;
  std::array<int, 4> m_delay{};  // indexed by delay type
  std::array<int, 4> m_margin{};
  int m_maxWidth = -1;
};

}  // namespace mdi
