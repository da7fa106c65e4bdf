#pragma once
// Reading what a run wrote beside an image: a whole text file, and one
// `key: value` field of a record.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace mdi::test {

inline std::string fileText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every value of `key`, in order.
inline std::vector<std::string> fields(const std::string& record, const std::string& key) {
  std::vector<std::string> values;
  std::istringstream in(record);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ": ", 0) == 0) values.push_back(line.substr(key.size() + 2));
  return values;
}

// The value of the first `key: value` line of a record; "" when absent.
inline std::string field(const std::string& record, const std::string& key) {
  const std::vector<std::string> values = fields(record, key);
  return values.empty() ? std::string() : values.front();
}

// The record's values of the keys of `want` ("" for an absent key): one
// comparison shows every field that differs.
using Fields = std::map<std::string, std::string>;
inline Fields fieldsOf(const std::string& record, const Fields& want) {
  Fields got;
  for (const auto& [key, value] : want) got[key] = field(record, key);
  return got;
}

}  // namespace mdi::test
