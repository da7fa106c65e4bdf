#pragma once
// Helpers of the record and engine suites: a temporary folder removed after each test,
// byte patterns, whole-file reads and writes, the shell for the command line
// tools (sha256sum, ddrescuelog) that check what the program wrote, and
// case tables named and printed by their `name` (CaseName.h).
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/CaseName.h"
#include "tests/RecordFields.h"
#include "tests/Shell.h"
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

}  // namespace mdi::test
