#pragma once
// Keeps atomic writes in memory, in order, and fails them on demand, so the
// code that writes records is tested without a disk.
#include <map>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

namespace mdi {

class FakeAtomicFile final : public AtomicFile {
 public:
  struct Write {
    std::string path;
    std::string contents;
  };
  // Records the write and keeps contents as path's file, or, when a failure
  // is due, returns its errno and keeps nothing.
  int write(const std::string& path, std::string_view contents) override;

  // The next write fails with error (one-shot).
  void failNext(int error) { m_failNext = error; }
  // Every write to path fails with error, until cleared with 0.
  void failPath(const std::string& path, int error);

  std::vector<Write> writes;                 // successful writes, in order
  std::vector<std::string> failed;           // paths of refused writes
  std::map<std::string, std::string> files;  // path -> last contents

 private:
  int m_failNext = 0;
  std::map<std::string, int> m_failPaths;
};

}  // namespace mdi
