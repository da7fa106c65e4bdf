#pragma once
// Helpers of the record and engine suites: a temporary folder removed after each test,
// byte patterns (Pattern.h), whole-file reads and writes, the shell for the command line
// tools (sha256sum, ddrescuelog) that check what the program wrote, and
// case tables named and printed by their `name` (CaseName.h).
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "record/RescueMap.h"
#include "support/Hasher.h"
#include "tests/CaseName.h"
#include "tests/Pattern.h"
#include "tests/RecordFields.h"
#include "tests/Shell.h"
#include "tests/TestDir.h"

namespace mdi::test {

namespace fs = std::filesystem;

// The digests of `data`, hashed in one piece.
inline Digests digestsOf(const std::vector<std::byte>& data, HashAlgos algos) {
  Hasher h(algos);
  h.update(data);
  return h.finish().digests;
}

inline void writeBytes(const fs::path& p, const std::vector<std::byte>& data) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << p;
}

// A fixture whose folder exists for the test and is removed after it.
class TempDirTest : public ::testing::Test {
 protected:
  ScratchDir scratch{"mdi-record-"};
  fs::path dir = scratch.path;
};

template <class Param>
class TempDirTestP : public TempDirTest, public ::testing::WithParamInterface<Param> {};

// The blocks of a mapfile, after its status line, as written: read here
// apart from the program's own parser.
inline std::vector<MapBlock> blocksOf(const std::string& text) {
  std::vector<MapBlock> blocks;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line);
    std::string pos, size, status;
    if (line.starts_with("#") || !(l >> pos >> size >> status) || !size.starts_with("0x")) continue;
    blocks.push_back(
        {std::stoull(pos, nullptr, 16), std::stoull(size, nullptr, 16), static_cast<MapStatus>(status.at(0))});
  }
  return blocks;
}

}  // namespace mdi::test
