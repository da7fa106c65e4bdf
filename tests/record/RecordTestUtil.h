#pragma once
// Helpers of the record suites: a temporary folder removed after each test,
// byte patterns, whole-file reads and writes, and running a command line
// tool (sha256sum, ddrescuelog) to check what the program wrote.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/TestDir.h"

namespace mdi::test {

namespace fs = std::filesystem;

inline std::vector<std::byte> patternBytes(std::size_t n, unsigned seed) {
  std::vector<std::byte> v(n);
  std::uint32_t x = 2654435761u * (seed + 1);
  for (auto& b : v) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::byte>(x >> 24);
  }
  return v;
}

inline void writeBytes(const fs::path& p, const std::vector<std::byte>& data) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << p;
}

inline std::string readText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command line, capturing its output.
inline CommandResult runCommand(const std::string& cmd) {
  CommandResult r;
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline bool haveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Single-quoted for the shell.
inline std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A fixture whose folder exists for the test and is removed after it.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testDir("mdi-record-");
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir;
};

template <class Param>
class TempDirTestP : public TempDirTest, public ::testing::WithParamInterface<Param> {};

// Case names for INSTANTIATE_TEST_SUITE_P from each case's `name` field.
struct CaseName {
  template <class Info>
  std::string operator()(const Info& info) const { return info.param.name; }
};

}  // namespace mdi::test
