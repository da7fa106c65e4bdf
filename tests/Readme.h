#pragma once
// What the README tells operators, read from it so that tests compare the
// program with the document instead of with a copy of it: a section's
// text, the cells of its tables, and the script it gives.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/RecordFields.h"
#include "tests/Shell.h"

namespace mdi::test {

// The text under the heading (any level) up to the next heading; "" (and
// a failure) when the README has no such heading.
inline std::string readmeSection(const std::string& heading) {
  const std::string readme = fileText(MDI_README);
  const auto at = readme.find("# " + heading + "\n");
  EXPECT_NE(at, std::string::npos) << "the README has no section \"" << heading << "\"";
  if (at == std::string::npos) return {};
  const auto body = readme.find('\n', at) + 1;
  const auto end = readme.find("\n#", body);
  return readme.substr(body, end == std::string::npos ? std::string::npos : end + 1 - body);
}

// The rows of the section's first table, its header first (the separator
// left out), each as its trimmed cells.
inline std::vector<std::vector<std::string>> readmeTable(const std::string& heading) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readmeSection(heading));
  bool seen = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("|")) {
      if (seen) break;
      continue;
    }
    seen = true;
    if (line.starts_with("|---")) continue;
    std::vector<std::string> cells;
    for (std::size_t from = 1, bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1) {
      const std::string cell = line.substr(from, bar - from);
      const auto first = cell.find_first_not_of(' ');
      cells.push_back(first == std::string::npos ? "" : cell.substr(first, cell.find_last_not_of(' ') + 1 - first));
    }
    rows.push_back(cells);
  }
  EXPECT_FALSE(rows.empty()) << "no table under \"" << heading << "\"";
  return rows;
}

// The rebuild script the README gives operators, as a file; "" without python3.
inline std::string readmeScript(const std::filesystem::path& dir) {
  if (!haveTool("python3")) return {};
  const std::string readme = fileText(MDI_README);
  const auto start = readme.find("```python\n");
  EXPECT_NE(start, std::string::npos) << "the README has no rebuild script";
  if (start == std::string::npos) return {};
  const auto body = start + 10;
  std::ofstream(dir / "rebuild.py") << readme.substr(body, readme.find("```", body) - body);
  return (dir / "rebuild.py").string();
}

}  // namespace mdi::test
