#pragma once
#include <string>
#include <vector>

namespace mdi {

// Starts a program detached, without waiting for it. Returns false when it
// could not be started.
class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual bool startDetached(const std::string& program, const std::vector<std::string>& args) = 0;
};

}  // namespace mdi
