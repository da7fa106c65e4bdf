#pragma once
// Rows of a case table carry a `name`: it names the test (ByName() as the
// name generator of INSTANTIATE_TEST_SUITE_P) and is what a failure prints
// for the row, instead of a dump of its bytes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace mdi {
namespace {

template <class Case>
requires requires(const Case& c) { std::string(c.name); }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The test name is the row as printed: its name, by PrintTo above.
using ByName = ::testing::PrintToStringParamName;

}  // namespace
}  // namespace mdi
