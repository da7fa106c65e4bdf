// The home folder the image picker starts in: $HOME, or the password
// database's entry of the user when the program was started without one.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/PosixSystemInfo.h"

namespace mdi::test {
namespace {

// Sets or clears HOME for one test and puts it back afterwards.
class HomeVariable {
 public:
  explicit HomeVariable(const char* value) {
    if (const char* old = std::getenv("HOME")) m_saved = old;
    if (value) ::setenv("HOME", value, 1);
    else ::unsetenv("HOME");
  }
  ~HomeVariable() {
    if (m_saved) ::setenv("HOME", m_saved->c_str(), 1);
    else ::unsetenv("HOME");
  }
  HomeVariable(const HomeVariable&) = delete;
  HomeVariable& operator=(const HomeVariable&) = delete;

 private:
  std::optional<std::string> m_saved;
};

std::string accountHome() {
  const passwd* pw = ::getpwuid(::getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "";
}

struct HomeCase {
  const char* name;
  const char* variable;  // nullptr: HOME not set at all
  bool fromAccount;      // the answer is the account's home, not the variable
};
void PrintTo(const HomeCase& c, std::ostream* os) { *os << c.name; }

class PosixHomeFolder : public ::testing::TestWithParam<HomeCase> {};

TEST_P(PosixHomeFolder, IsTheVariableElseTheAccountsEntry) {
  const HomeCase& c = GetParam();
  if (c.fromAccount && accountHome().empty()) GTEST_SKIP() << "the user running the tests has no password entry";
  HomeVariable home(c.variable);
  EXPECT_EQ(PosixSystemInfo().homeFolder(), c.fromAccount ? accountHome() : std::string(c.variable));
}

INSTANTIATE_TEST_SUITE_P(Homes, PosixHomeFolder,
                         ::testing::Values(HomeCase{"VariableSet", "/srv/lab/operator", false},
                                           HomeCase{"VariableUnset", nullptr, true},
                                           HomeCase{"VariableEmpty", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mdi::test
