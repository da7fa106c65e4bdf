#include "platform/RawIo.h"

#include <system_error>

namespace mdi {

const char* accessName(SourceAccess access) {
  switch (access) {
    case SourceAccess::Udisks2:
      return "udisks2";
    case SourceAccess::PassThrough:
      return "pass-through";
    case SourceAccess::Direct:
      break;
  }
  return "direct";
}

std::string openFailureText(const std::string& path, int error) {
  return path + " could not be opened: " + std::generic_category().message(error);
}

}  // namespace mdi
