#pragma once
#include <string>
#include <vector>

namespace mdi {

// Folder and file choosers. An empty result means the operator cancelled.
class Pickers {
 public:
  virtual ~Pickers() = default;
  virtual std::string chooseFolder(const std::string& title) = 0;
  // Several files may be chosen; full paths in the dialog's order.
  virtual std::vector<std::string> chooseFiles(const std::string& title, const std::string& startFolder) = 0;
};

}  // namespace mdi
