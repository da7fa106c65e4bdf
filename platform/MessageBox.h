#pragma once
// Modal questions and notices. Every box the program shows goes through
// here, so tests answer them per title and see each one that was shown.
#include <string>

namespace mdi {

enum class MsgIcon { None, Information, Exclamation, Question, Critical };
// YesNoResume: Yes, No and a third button, "Resume".
enum class MsgButtons { Ok, YesNo, YesNoResume };
enum class MsgAnswer { Ok, Yes, No, Resume };

struct Message {
  std::string text;  // lines separated by "\n"
  std::string title;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
  bool systemModal = false;
};

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual MsgAnswer show(const Message& m) = 0;
};

}  // namespace mdi
