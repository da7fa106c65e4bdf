#include "tests/fakes/FakeAtomicFile.h"

namespace mdi {

void FakeAtomicFile::failPath(const std::string& path, int error) {
  if (error == 0) m_failPaths.erase(path);
  else m_failPaths[path] = error;
}

int FakeAtomicFile::write(const std::string& path, std::string_view contents) {
  int error = m_failNext;
  m_failNext = 0;
  if (const auto it = m_failPaths.find(path); error == 0 && it != m_failPaths.end()) error = it->second;
  if (error != 0) {
    failed.push_back(path);
    return error;
  }
  writes.push_back({path, std::string(contents)});
  files[path] = std::string(contents);
  return 0;
}

}  // namespace mdi
