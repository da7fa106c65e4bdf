#pragma once
// Takes every atomic write and keeps nothing, for code that must be given
// somewhere to write its records when a test does not look at them.
#include "platform/AtomicFile.h"

namespace mdi {

class FakeAtomicFile final : public AtomicFile {
 public:
  int write(const std::string&, std::string_view) override { return 0; }
};

}  // namespace mdi
