#pragma once
// Running a command line from a test through /bin/sh: its exit status and
// what it printed, stdout and stderr together (a redirection inside the
// command, such as 2>/dev/null, still applies).
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace mdi::test {

struct ShellResult {
  int exitCode = -1;  // -1: could not run, or ended by a signal
  std::string output;
};

inline ShellResult shell(const std::string& cmd) {
  ShellResult r;
  FILE* p = ::popen(("{ " + cmd + "\n} 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline bool haveTool(const std::string& name) { return shell("command -v " + name + " >/dev/null").exitCode == 0; }

// Single-quoted for the shell.
inline std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace mdi::test
