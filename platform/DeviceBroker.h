#pragma once
// Opens a device node read-only on behalf of a user who may not open it
// himself: the system asks the operator for an administrator's password
// (udisks2 and polkit on the desktop) and hands back a descriptor.
#include <string>

namespace mdi {

class DeviceBroker {
 public:
  enum class Answer {
    Opened,       // fd is the node, read-only
    Refused,      // the operator refused, cancelled, or could not be asked
    Unavailable,  // nobody is there to ask (no system bus, no udisks2)
    Failed,       // this node could not be opened by the broker
  };
  struct Result {
    Answer answer = Answer::Failed;
    int fd = -1;  // owned by the caller when Opened
    // When not Opened, what happened, as the end of a sentence: "" for a
    // plain refusal, "the password prompt was cancelled", "udisks2 is not
    // running", the broker's own error message.
    std::string detail;
  };
  virtual ~DeviceBroker() = default;
  // May wait as long as the operator takes to answer a password prompt:
  // never called on the window's thread. `direct`: the descriptor reads
  // past the page cache (O_DIRECT).
  virtual Result openReadOnly(const std::string& node, bool direct) = 0;
};

}  // namespace mdi
