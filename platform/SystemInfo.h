#pragma once
// What the machine says about itself: the host name and the wall-clock time
// an acquisition record states, and the operator's home folder the image
// picker starts in. Apart from Clock, whose monotonic tick times the run but
// never says what time it is.
#include <chrono>
#include <string>

namespace mdi {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // The host name, or "" when it cannot be read.
  virtual std::string hostName() const = 0;
  // Wall-clock time now (UTC: system_clock counts from the Unix epoch).
  virtual std::chrono::system_clock::time_point now() const = 0;
  // The home folder of the user running the program, or "" when unknown.
  virtual std::string homeFolder() const = 0;
};

}  // namespace mdi
