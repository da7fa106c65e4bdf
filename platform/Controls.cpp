#include "platform/Controls.h"

namespace mdi {

const char* ctlName(Ctl c) {
  switch (c) {
    case Ctl::Frame1:
      return "Frame1";
    case Ctl::iGrid1:
      return "iGrid1";
    case Ctl::Command4:
      return "Command4";
    case Ctl::Frame3:
      return "Frame3";
    case Ctl::Command1:
      return "Command1";
    case Ctl::Command2:
      return "Command2";
    case Ctl::Label2:
      return "Label2";
    case Ctl::Label1:
      return "Label1";
    case Ctl::Text1:
      return "Text1";
    case Ctl::Label10:
      return "Label10";
    case Ctl::Text2:
      return "Text2";
    case Ctl::Check2:
      return "Check2";
    case Ctl::Check4:
      return "Check4";
    case Ctl::Frame2:
      return "Frame2";
    case Ctl::ProgBarXP1:
      return "ProgBarXP1";
    case Ctl::Check3:
      return "Check3";
    case Ctl::Label4:
      return "Label4";
    case Ctl::Label5:
      return "Label5";
    case Ctl::Label8:
      return "Label8";
    case Ctl::Label9:
      return "Label9";
    case Ctl::Label13:
      return "Label13";
    case Ctl::Label12:
      return "Label12";
    case Ctl::Label6:
      return "Label6";
    case Ctl::Label7:
      return "Label7";
    case Ctl::Frame4:
      return "Frame4";
    case Ctl::iGrid2:
      return "iGrid2";
    case Ctl::Label3:
      return "Label3";
    case Ctl::Check1:
      return "Check1";
    case Ctl::XPButton1:
      return "XPButton1";
    case Ctl::Command6:
      return "Command6";
    case Ctl::Command3:
      return "Command3";
    case Ctl::AlertBox1:
      return "AlertBox1";
    case Ctl::Timer1:
      return "Timer1";
    case Ctl::mnuHelp:
      return "mnuHelp";
    case Ctl::mnuSetTarget:
      return "mnuSetTarget";
    case Ctl::Count_:
      break;
  }
  return "?";
}

}  // namespace mdi
