#pragma once
// Real file access with faults laid over chosen paths: sources that fail or
// hang at chosen bytes, outputs that fill up, hang, or fail to close or grow.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/RawIo.h"
#include "tests/fakes/FakeSources.h"

namespace mdi {

class FaultyFiles final : public FileAccess {
 public:
  explicit FaultyFiles(FileAccess& real) : m_real(real) {}
  std::unique_ptr<Source> openSource(const std::string& path) override;
  std::unique_ptr<Output> createOutput(const std::string& path) override;
  std::unique_ptr<Output> reopenOutput(const std::string& path) override;

  std::map<std::string, std::vector<BadRange>> badRanges;
  // Where given for a path with bad ranges, every read() of its sources.
  std::map<std::string, std::shared_ptr<ReadLog>> readLogs;
  std::map<std::string, std::shared_ptr<Gate>> gates;        // reads that hang until released
  std::map<std::string, std::shared_ptr<Gate>> outputGates;  // writes that hang until released
  std::map<std::string, std::uint64_t> writeLimit;           // bytes past which writes fail (ENOSPC)
  std::set<std::string> writeLimitOnce;                      // ...for one write only, as when space comes back
  std::set<std::string> failSync;
  std::set<std::string> failResize;                         // growing fails (a file that cannot grow)
  std::set<std::string> failCut;                            // cutting back fails
  std::map<std::string, std::shared_ptr<Gate>> openGates;   // opening a source hangs until released
  std::map<std::string, std::shared_ptr<Gate>> closeGates;  // an output's close (its sync) hangs until released
  std::map<std::string, int> creates;

 private:
  std::unique_ptr<Output> wrap(const std::string& path, std::unique_ptr<Output> o);
  FileAccess& m_real;
};

}  // namespace mdi
