#include "tests/xvfb/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/Shell.h"

namespace mdi {

namespace {
std::string findInPath(const std::string& prog) { return test::shell("command -v " + prog).line(); }

// Starts openbox on the server and waits until it manages the screen (it
// runs its --startup command then). Without openbox the tests run unframed.
void startWindowManager(XServer& x) {
  const std::string wm = findInPath("openbox");
  if (wm.empty()) return;
  char tmpl[] = "/tmp/mdi-wm-XXXXXX";
  if (!::mkdtemp(tmpl)) return;
  const std::string ready = std::string(tmpl) + "/ready";
  const std::string startup = "touch " + ready;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("DISPLAY", x.display.c_str(), 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(wm.c_str(), "openbox", "--sm-disable", "--startup", startup.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid > 0) {
    x.wmPid = pid;
    for (int i = 0; i < 100 && ::access(ready.c_str(), F_OK) != 0; ++i) ::usleep(50000);
  }
  ::unlink(ready.c_str());
  ::rmdir(tmpl);
}

}  // namespace

std::string& xSkipReason() {
  static std::string reason;
  return reason;
}

XServer startXvfb() {
  XServer x;
  const std::string xvfb = findInPath("Xvfb");
  if (xvfb.empty()) {
    x.failure = "Xvfb is not installed (apt-get install xvfb)";
    return x;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    x.failure = "cannot make a pipe for Xvfb";
    return x;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::fcntl(fds[1], F_SETFD, 0);  // the server writes its display number here
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    const std::string fd = std::to_string(fds[1]);
    ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    x.failure = "cannot start Xvfb";
    return x;
  }
  x.pid = pid;
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c = 0;
  while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) {
    stopXvfb(x);
    x.failure = "Xvfb did not start (no display number within 10 s)";
    return x;
  }
  x.display = ":" + number;
  startWindowManager(x);
  return x;
}

void stopXvfb(XServer& x) {
  if (x.wmPid > 0) {
    ::kill(x.wmPid, SIGTERM);
    ::waitpid(x.wmPid, nullptr, 0);
    x.wmPid = -1;
  }
  if (x.pid <= 0) return;
  ::kill(x.pid, SIGTERM);
  ::waitpid(x.pid, nullptr, 0);
  x.pid = -1;
}

}  // namespace mdi
