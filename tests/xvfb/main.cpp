// Window tests on a private Xvfb through the xcb platform, started once per
// test binary on a display number of its own choosing (read back through
// -displayfd) and ended with the binary. Without Xvfb the tests still run,
// each skipping with the reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/RecordFields.h"
#include "tests/Shell.h"
#include "tests/xvfb/Screen.h"

namespace mdi {

std::string& xSkipReason() {
  static std::string reason;
  return reason;
}

namespace {

struct XServer {
  int pid = -1;
  int wmPid = -1;       // openbox, when installed: windows are framed and
                        // mapped late, as on a desktop
  std::string display;  // ":N" once started
};

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

void stopXvfb(XServer& x) {
  for (int* pid : {&x.wmPid, &x.pid}) {
    if (*pid <= 0) continue;
    ::kill(*pid, SIGTERM);
    ::waitpid(*pid, nullptr, 0);
    *pid = -1;
  }
}

// The server writes its display number to fd 3, a file in a folder of its
// own. openbox, when installed, runs its --startup command once it manages
// the screen; without it the tests run unframed. Without a display,
// xSkipReason() says why.
XServer startXvfb() {
  XServer x;
  char tmpl[] = "/tmp/mdi-x-XXXXXX";
  if (!test::haveTool("Xvfb")) {
    xSkipReason() = "Xvfb is not installed (apt-get install xvfb)";
  } else if (!::mkdtemp(tmpl)) {
    xSkipReason() = "cannot make a folder for Xvfb";
  } else {
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
      xSkipReason() = "Xvfb did not start (no display number within 10 s)";
    }
    std::filesystem::remove_all(dir);
  }
  return x;
}

}  // namespace
}  // namespace mdi

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  mdi::XServer x;
  if (!listing) x = mdi::startXvfb();
  if (x.display.empty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else {
    qputenv("DISPLAY", x.display.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
  }
  int rc = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    rc = RUN_ALL_TESTS();
  }
  mdi::stopXvfb(x);
  return rc;
}
