#pragma once
// A private Xvfb for the window tests that need a real X server: started
// once per test binary, on a display number of its own choosing (read back
// through -displayfd), and ended with the binary.
#include <string>

namespace mdi {

struct XServer {
  int pid = -1;
  int wmPid = -1;       // openbox, when installed: windows are framed and
                        // mapped late, as on a desktop
  std::string display;  // ":N" once started
  std::string failure;  // why there is no server, for the skip message
};

XServer startXvfb();
void stopXvfb(XServer& x);

// Empty when the tests can run; otherwise why they skip.
std::string& xSkipReason();

}  // namespace mdi
