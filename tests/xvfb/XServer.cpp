#include "tests/xvfb/XServer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/RecordFields.h"
#include "tests/Shell.h"

namespace mdi {

namespace {
// Waits up to `ms` for `done`.
template <class F>
bool waitFor(F&& done, int ms) {
  for (int waited = 0; !done() && waited < ms; waited += 50) ::usleep(50000);
  return done();
}

// Starts `cmd` in the background, its output discarded; returns its pid.
// This process takes it over as a child when the starting shell ends.
int background(const std::string& cmd) {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const std::string pid = test::shell(cmd + " >/dev/null 2>&1 & echo $!").line();
  return pid.empty() ? -1 : std::atoi(pid.c_str());
}
}  // namespace

std::string& xSkipReason() {
  static std::string reason;
  return reason;
}

// The server writes its display number to fd 3, a file in a folder of its
// own. openbox, when installed, runs its --startup command once it manages
// the screen; without it the tests run unframed.
XServer startXvfb() {
  XServer x;
  if (!test::haveTool("Xvfb")) {
    x.failure = "Xvfb is not installed (apt-get install xvfb)";
    return x;
  }
  char tmpl[] = "/tmp/mdi-x-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    x.failure = "cannot make a folder for Xvfb";
    return x;
  }
  const std::string dir = tmpl, number = dir + "/display", ready = dir + "/ready";
  x.pid = background("Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>" + number);
  if (x.pid > 0 && waitFor([&] { return test::fileText(number).find('\n') != std::string::npos; }, 10000)) {
    x.display = ":" + test::fileText(number).substr(0, test::fileText(number).find('\n'));
    if (test::haveTool("openbox")) {
      x.wmPid = background("DISPLAY=" + x.display + " openbox --sm-disable --startup 'touch " + ready + "'");
      waitFor([&] { return std::filesystem::exists(ready); }, 5000);
    }
  } else {
    stopXvfb(x);
    x.failure = "Xvfb did not start (no display number within 10 s)";
  }
  std::filesystem::remove_all(dir);
  return x;
}

void stopXvfb(XServer& x) {
  for (int* pid : {&x.wmPid, &x.pid}) {
    if (*pid <= 0) continue;
    ::kill(*pid, SIGTERM);
    ::waitpid(*pid, nullptr, 0);
    *pid = -1;
  }
}

}  // namespace mdi
