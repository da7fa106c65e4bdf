#pragma once
// The main window's controls as the core sees them. The core never touches
// a widget: it asks this surface by control name (the names are the window's
// object names), so the same run code drives the real window and a fake
// that records every change for tests.
#include <string>

namespace mdi {

enum class Ctl {
  Frame1,
  iGrid1,
  Command4,
  Frame3,
  Command1,
  Command2,
  Label2,
  Label1,
  Text1,
  Label10,
  Text2,
  Check2,
  Check4,
  Frame2,
  ProgBarXP1,
  Check3,
  Label4,
  Label5,
  Label8,
  Label9,
  Label13,
  Label12,
  Label6,
  Label7,
  Frame4,
  iGrid2,
  Label3,
  Check1,
  XPButton1,
  Command6,
  Command3,
  AlertBox1,
  Timer1,
  mnuHelp,
  mnuSetTarget,
  Count_
};

// Object name of a control ("Command2", "Check4", ...).
const char* ctlName(Ctl c);

class Controls {
 public:
  virtual ~Controls() = default;
  virtual void setEnabled(Ctl c, bool on) = 0;
  virtual bool isEnabled(Ctl c) const = 0;
  virtual void setVisible(Ctl c, bool on) = 0;
  virtual bool isVisible(Ctl c) const = 0;
  // Caption or text of a label, button, text box, menu item or notice.
  virtual void setText(Ctl c, const std::string& text) = 0;
  virtual std::string text(Ctl c) const = 0;
  virtual bool isChecked(Ctl c) const = 0;
  virtual void setChecked(Ctl c, bool on) = 0;
  // StatusBar1 panels, numbered from 1.
  virtual void setStatusText(int panel, const std::string& text) = 0;
  virtual std::string statusText(int panel) const = 0;
  // ProgBarXP1.
  virtual int progressMaximum() const = 0;
  virtual void setProgressMaximum(int max) = 0;
  virtual int progressValue() const = 0;
  virtual void setProgressValue(int value) = 0;
  // The window's Close command (title-bar button and close request).
  virtual void setCloseAllowed(bool allowed) = 0;
  virtual void beep() = 0;
  virtual void setFocus(Ctl c) = 0;
  virtual void setBusyCursor(bool busy) = 0;
};

}  // namespace mdi
